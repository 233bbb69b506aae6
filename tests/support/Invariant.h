// The invariant that holds after every run, whatever failed in it or however it ended.
#pragma once

#include <sys/stat.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "support/WholeRun.h"

namespace WholeRun {

struct File {
    ino_t inode;
    std::string bytes;
};

struct RunResult {
    bool fired, crashed;  // crashed: `files` are what a power cut left
    std::string output;
    std::map<std::string, File> files;  // the database's folder after the run
};

// What is in `folder` now, by name.
inline std::map<std::string, File> FilesIn(const fs::path& folder) {
    std::map<std::string, File> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        struct stat status {};
        ::stat(entry.path().c_str(), &status);
        files[entry.path().filename()] = {status.st_ino, ReadFile(entry.path())};
    }
    return files;
}

// What is wrong with what a run left in the database's folder `data`, empty when nothing is:
// the database `old` (its inode `oldInode`) is whole under its name or a backup name, no
// half copy or stray file is left, and what the run said holds. A run that succeeded has its
// compacted copy in place and a backup; one that `fired` (met a fault) reported it.
inline std::string Violation(const RunResult& run, const std::string& old, ino_t oldInode,
                             const fs::path& data) {
    static const std::regex temporary("TOL[0-9A-F]{4}\\.(MDB|TMP)"), backup("Shop-[0-9]{4}\\.BAK");
    const std::string folder = (data / "").string();
    std::string oldName;
    std::vector<std::string> copies, emptyReservations;
    for (const auto& [name, file] : run.files) {
        const bool isTemporary = std::regex_match(name, temporary);
        if (name != "Shop.mdb" && !isTemporary && !std::regex_match(name, backup)) {
            return "a stray file " + name;
        }
        if (file.inode == oldInode && file.bytes == old) oldName = name;
        if (isTemporary && name.ends_with(".TMP")) {
            if (!file.bytes.empty()) return "a temporary-name file with bytes in it";
            emptyReservations.push_back(name);
        } else if (isTemporary) {
            copies.push_back(name);
            // A copy stays only whole, or where the report says it could not be removed.
            if (file.bytes != old &&
                run.output.find("The unfinished copy '" + folder + name +
                                "' could not be removed") == std::string::npos) {
                return "a half-written copy " + name + " is left";
            }
        }
    }
    if (oldName.empty()) return "the database's bytes are lost";
    const auto has = [&](const std::string& name, bool oldOne) {
        const auto it = run.files.find(name);
        return it != run.files.end() && it->second.bytes == old &&
               (it->second.inode == oldInode) == oldOne;
    };

    // What the run said holds, even after a power cut.
    static const std::regex left("copy is (left as )?\\S*/(TOL[0-9A-F]{4}\\.MDB)");
    std::smatch said;
    if (std::regex_search(run.output, said, left) && !run.files.contains(said[2])) {
        return "the copy said to be left is lost";
    }
    if (run.output.find(kSuccess) != std::string::npos) {
        if (!has("Shop.mdb", false)) return "success, but no compacted copy in place";
        if (!std::regex_match(oldName, backup)) return "success, but no backup";
        if (!copies.empty()) return "success, and a copy left over";
        return "";
    }
    if (run.crashed) {
        // Besides the empty file that reserved the temporary name, should its removal have
        // failed (more than one is no state at all)...
        const std::size_t kept =
            emptyReservations.size() <= 1 ? run.files.size() - emptyReservations.size() : 0;
        // ... before the copy is named, only the database;
        if (kept == 1 && oldName == "Shop.mdb") return "";
        // only a whole copy ever has the temporary name, beside the database or its backup
        // (before the first rename, between the two); after the second it is the database.
        const bool whole = copies.size() == 1 ? has(copies[0], false) : has("Shop.mdb", false);
        if (kept == 2 && whole) return "";
        return "the crash left a state no step of the run makes";
    }
    if (!run.fired) return "the run without a fault did not succeed";
    static const std::regex reported(
        "There was a problem|Error getting a temporary file name|Run-time error|" + kWarning);
    if (!std::regex_search(run.output, reported)) return "nothing was reported";
    if (oldName != "Shop.mdb" && run.output.find(folder + oldName) == std::string::npos) {
        return "the database was moved to " + oldName + " and the report does not say so";
    }
    for (const std::string& copy : copies) {
        if (run.output.find(folder + copy) == std::string::npos) {
            return "a copy " + copy + " is left and the report does not name it";
        }
    }
    return "";
}

}  // namespace WholeRun
