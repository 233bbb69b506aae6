// The runs a command line asks for: one database named in the dialog's place, several
// compacted unattended, or the usage text.
#pragma once

#include <string>
#include <vector>

namespace StartModule {

// The exit statuses; a run that meets several ends with the highest.
enum : int { kAllCompacted = 0, kInUse = 1, kWrongCall = 2, kFailed = 3 };

struct Request {
    enum Kind { kDialog, kOnePath, kUnattended, kHelp, kWrong } kind = kDialog;
    std::vector<std::string> paths;
    std::string wrong;         // what is wrong with the command line
    bool unattended = false;   // asked for unattended work: no one may be watching
    int keep = 0;              // the backups of each database to keep; 0: all of them
    bool recursive = false;    // a folder stands for its subfolders' databases too
    double timeout = 0;        // minutes each engine may take; 0: no limit, and no child
    std::string timeoutShown;  // the limit as the user wrote it
    double wait = 0;           // minutes from the start a database in use is tried again
    std::string workgroup;     // the workgroup information file to sign in with, as given
    std::string user;          // its account; given with the workgroup or not at all
};

// Reads the arguments after the program's name. No arguments: the dialog, as always.
Request ReadArguments(const std::vector<std::string>& arguments);

// What the command line may hold and what the exit statuses mean.
std::string Usage();

// Compacts each database the request names in turn with no question, box or standard input,
// and gives each its one line in the log at level 1; returns the highest status that occurred.
int CompactUnattended(const Request& request);

// What one argument of an unattended run stands for, all of them found before the first is
// compacted, so that no backup or copy the run makes is ever taken.
struct Named {
    std::string argument;            // as given
    std::vector<std::string> paths;  // its databases; a plain path stands for itself
    bool pattern = false;            // * or ? in its last part
};

// Each argument once: a plain path as it is; a pattern by the files in its folder that match
// it; a folder by the .mdb and .accdb files directly in it (and in its subfolders when
// `recursive`, never through a link or junction). Neither takes backups, lock files,
// workgroup files (unless the pattern names them), the run's own temporary copies or what
// is not a file. A database reached twice, by whatever name, is taken the first time only.
std::vector<Named> NamedDatabases(const std::vector<std::string>& arguments, bool recursive);

// Once `database` has been compacted and its old file is `backup`: removes its backups but
// the `keep` newest by last write time, `backup` always among them. Nothing is removed when
// another database in its folder has the same name before its extension, since their backups
// could not be told apart; that, and any removal that fails, is logged. Raises nothing.
void KeepNewestBackups(const std::string& database, const std::string& backup, int keep);

}  // namespace StartModule
