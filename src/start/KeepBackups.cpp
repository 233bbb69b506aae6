#include <algorithm>

#include "components/CurrentError.h"
#include "components/FileSearch.h"
#include "components/FileSystem.h"
#include "components/FileTools.h"
#include "general/qnGeneral.h"
#include "start/CommandLineRuns.h"

namespace StartModule {

namespace {

using Components::The;

void Log(const std::string& line, std::int32_t level) {
    const std::int32_t indent = qnGeneral::kIndentNone;
    qnGeneral::WriteLog(line, level, indent);
}

}  // namespace

void KeepNewestBackups(const std::string& database, const std::string& backup, int keep) {
    auto& search = The<Components::FileSearch>();
    auto& tools = The<Components::FileTools>();
    Err::ResumeNext resume;
    std::vector<Components::FolderEntry> entries;
    std::string folder, stem, name;
    if (!resume.Step([&] {
            folder = tools.FolderOf(database, 0);
            name = database.substr(folder.size());
            stem = tools.PathWithoutExtension(database).substr(folder.size());
            entries = search.Entries(folder);
        })) {
        Log("'" + database + "': its older backups were kept, as its folder could not be read: " +
                Err::Current().Description,
            1);
        return;
    }
    const auto hasStem = [&](const std::string& entry) {
        return entry.size() > stem.size() && search.SameName(entry.substr(0, stem.size()), stem);
    };
    std::vector<Components::FolderEntry> backups;
    for (const auto& entry : entries) {
        if (!entry.IsFile || !hasStem(entry.Name)) continue;
        const std::string rest = entry.Name.substr(stem.size());
        const std::string upper = qnGeneral::UCase(rest);
        // Shop.mdb and Shop.accdb would both call Shop-0001.BAK theirs.
        if ((upper == ".MDB" || upper == ".ACCDB") && !search.SameName(entry.Name, name)) {
            Log("'" + database + "': its older backups were kept, as '" + entry.Path +
                    "' has the same name before its extension and its backups could not be told "
                    "apart",
                1);
            return;
        }
        const std::size_t digits = rest.size() - 5;  // between "-" and ".BAK"
        if (rest.size() >= 9 && rest[0] == '-' &&
            search.SameName(rest.substr(1 + digits), ".BAK") &&
            rest.substr(1, digits).find_first_not_of("0123456789") == std::string::npos &&
            !search.SameName(entry.Path, backup)) {
            backups.push_back(entry);
        }
    }
    if (static_cast<int>(backups.size()) < keep) return;
    std::sort(backups.begin(), backups.end(),
              [](const auto& a, const auto& b) { return a.LastWrite > b.LastWrite; });
    // The one just made is one of the `keep`.
    for (std::size_t i = static_cast<std::size_t>(keep) - 1; i < backups.size(); ++i) {
        const std::string& path = backups[i].Path;
        if (resume.Step([&] { The<Components::FileSystem>().Kill(path); })) {
            Log("'" + database + "': removed its older backup '" + path + "'", 5);
        } else {
            Log("'" + database + "': its older backup '" + path +
                    "' could not be removed: " + Err::Current().Description,
                1);
        }
    }
}

}  // namespace StartModule
