#include <algorithm>
#include <set>

#include "components/CommandLine.h"
#include "components/CurrentError.h"
#include "components/DatabaseHold.h"
#include "components/FileSearch.h"
#include "components/FileTools.h"
#include "general/qnGeneral.h"
#include "start/CommandLineRuns.h"

namespace StartModule {

namespace {

using Components::The;

bool EndsWith(const std::string& upper, const char* end) { return upper.ends_with(end); }

// The run's own copy, left by a failed run for the user to look at: TOL, then one to four hex
// digits, as many as the system's temporary name has (it leaves out leading zeros).
bool IsOwnCopy(const std::string& upper) {
    return upper.size() >= 8 && upper.size() <= 11 && upper.starts_with("TOL") &&
           EndsWith(upper, ".MDB") &&
           upper.find_first_not_of("0123456789ABCDEF", 3) == upper.size() - 4;
}

// Whether a file a folder or pattern reaches is a database to compact.
bool Takes(const std::string& name, bool byFolder, const std::string& pattern) {
    const std::string upper = qnGeneral::UCase(name);
    if (EndsWith(upper, ".BAK") || EndsWith(upper, ".LDB") || EndsWith(upper, ".LACCDB") ||
        IsOwnCopy(upper)) {
        return false;
    }
    if (EndsWith(upper, ".MDW")) return EndsWith(qnGeneral::UCase(pattern), ".MDW");
    return !byFolder || EndsWith(upper, ".MDB") || EndsWith(upper, ".ACCDB");
}

// The databases of a folder, and of its subfolders when `recursive`, each listing in order
// of name so that every run takes them in the same order.
void Walk(const std::string& folder, bool recursive, std::vector<std::string>& paths) {
    auto entries = The<Components::FileSearch>().Entries(folder);
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.Name < b.Name; });
    for (const auto& entry : entries) {
        if (entry.IsFile && Takes(entry.Name, true, "")) paths.push_back(entry.Path);
    }
    if (!recursive) return;
    for (const auto& entry : entries) {
        if (entry.IsFolder) Walk(entry.Path, true, paths);
    }
}

}  // namespace

std::vector<Named> NamedDatabases(const std::vector<std::string>& arguments, bool recursive) {
    auto& search = The<Components::FileSearch>();
    auto& tools = The<Components::FileTools>();
    std::vector<Named> named;
    std::set<std::string> seen;  // the files taken, by identity
    for (const std::string& argument : arguments) {
        Named one{argument, {}, false};
        Err::ResumeNext resume;
        std::string full = argument;
        resume.Step([&] { full = The<Components::CommandLine>().FullPath(argument); });
        const std::string folder = tools.FolderOf(full, 0), last = full.substr(folder.size());
        one.pattern = last.find_first_of("*?") != std::string::npos;
        std::vector<std::string> paths;
        // A folder or pattern that cannot be read takes nothing; the run says so as for any
        // pattern that matches nothing.
        if (one.pattern) {
            resume.Step([&] {
                auto entries = search.Entries(folder);
                std::sort(entries.begin(), entries.end(),
                          [](const auto& a, const auto& b) { return a.Name < b.Name; });
                for (const auto& entry : entries) {
                    if (entry.IsFile && search.Matches(entry.Name, last) &&
                        Takes(entry.Name, false, last)) {
                        paths.push_back(entry.Path);
                    }
                }
            });
        } else if (search.IsFolder(full)) {
            resume.Step([&] { Walk(full, recursive, paths); });
        } else {
            paths.push_back(argument);  // as given: its own report names it so
        }
        for (const std::string& path : paths) {
            std::string identity = "path " + path;
            resume.Step([&] { identity = The<Components::DatabaseHold>().State(path).Identity; });
            if (seen.insert(identity).second) one.paths.push_back(path);
        }
        named.push_back(std::move(one));
    }
    return named;
}

}  // namespace StartModule
