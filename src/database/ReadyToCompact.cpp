#include <algorithm>
#include <vector>

#include "components/CurrentError.h"
#include "components/DatabaseUse.h"
#include "components/DiskSpace.h"
#include "components/EngineErrors.h"
#include "components/FileTools.h"
#include "database/Safeguards.h"

namespace DAO_DatabaseFunctions {

namespace {

using Components::The;

using Components::kEngineDiskFull;
using Components::kEngineFileInUse;

// The engine keeps one 64-byte entry per user, at most 255 of them: a computer name and a
// user name, 32 bytes each, padded with NULs.
constexpr std::size_t kEntry = 64, kName = 32, kMostEntries = 255, kNamesShown = 10;

// One name from its slot: up to its first NUL, with control bytes made visible, so that a
// damaged lock file can neither break the report's line nor run on into the next name.
std::string NameAt(const std::string& bytes, std::size_t at) {
    if (at >= bytes.size()) return {};
    std::string name = bytes.substr(at, std::min(kName, bytes.size() - at));
    name = name.substr(0, name.find('\0'));
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return qnGeneral::Trim(name);
}

void RefuseWhenInUse(const std::string& path) {
    if (!The<Components::DatabaseUse>().InUse(path)) return;
    std::string description = Components::InUseDescription(path);
    const std::string holders = LockFileHolders(path);
    if (!holders.empty()) description += "; its lock file names " + holders;
    Err::Raise(kEngineFileInUse, description + ".");
}

void RefuseWithoutRoom(const std::string& path) {
    double size = 0;
    std::uint64_t free = 0;
    try {
        auto& tools = The<Components::FileTools>();
        size = tools.FileSize(path);
        free = The<Components::DiskSpace>().FreeBytes(tools.FolderOf(path, 0));
    } catch (const Err::Error& error) {
        // Without an answer the engine is left to meet a full disk, which it reports itself.
        qnGeneral::WriteLog("The free space beside '" + path + "' is not known (" +
                                error.Description() + "); the compaction goes ahead",
                            -1, qnGeneral::kIndentNone);
        return;
    }
    const auto needed = static_cast<std::uint64_t>(std::max(size, 0.0));
    if (needed <= free) return;
    Err::Raise(kEngineDiskFull, "Not enough space on disk for a compacted copy of '" + path +
                                    "': it needs " + std::to_string(needed) +
                                    " bytes and its folder has " + std::to_string(free) +
                                    " bytes free.");
}

}  // namespace

bool MeansInUse(std::int32_t number) {
    switch (number) {
        case 3006:  // Database is exclusively locked.
        case 3045:  // Could not use; file already in use.
        case 3050:  // Could not lock file.
        case 3196:  // The database is already in use by another person or process.
        case 3356:  // You attempted to open a database that is already opened exclusively.
        case 3704:  // You attempted to open a database that is already opened by another user.
        case 3734:  // The database has been placed in a state that prevents it being opened.
            return true;
        default:
            return false;
    }
}

std::optional<Outcome> ReadyToCompact(const std::string& path, qnGeneral::Truth SilentMode) {
    Err::ResumeNext check;
    if (check.Step([&] {
            RefuseWhenInUse(path);
            RefuseWithoutRoom(path);
        })) {
        return std::nullopt;
    }
    const std::int32_t number = Err::Current().Number;
    std::string said;
    check.Step([&] {
        said = qnGeneral::ReportError("Compacting/Repairing the database: " + qnGeneral::Trim(path),
                                      number, SilentMode);
    });
    return Outcome::Reported(number, said);
}

std::string LockFileHolders(const std::string& path) {
    std::vector<std::string> names;
    try {
        auto& use = The<Components::DatabaseUse>();
        const std::string stem = The<Components::FileTools>().PathWithoutExtension(path);
        const bool ace = qnGeneral::UCase(path.substr(stem.size())).starts_with(".ACC");
        const std::string bytes =
            use.ReadStart(stem + (ace ? ".laccdb" : ".ldb"), kEntry * kMostEntries);
        for (std::size_t at = 0; at < bytes.size(); at += kEntry) {
            const std::string computer = NameAt(bytes, at), user = NameAt(bytes, at + kName);
            if (computer.empty() && user.empty()) continue;
            std::string name = computer.empty() ? "?" : use.FromNarrow(computer);
            if (!user.empty()) name += " (user " + use.FromNarrow(user) + ")";
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
        }
    } catch (...) {
        // The names only help the user; a lock file that cannot be read takes nothing away.
    }
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kNamesShown; ++i) {
        text += (i == 0 ? "" : ", ") + names[i];
    }
    if (names.size() > kNamesShown) {
        text += " and " + std::to_string(names.size() - kNamesShown) + " more";
    }
    return text;
}

}  // namespace DAO_DatabaseFunctions
