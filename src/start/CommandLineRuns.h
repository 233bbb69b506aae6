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
    std::string wrong;        // what is wrong with the command line
    bool unattended = false;  // asked for unattended work: no one may be watching
};

// Reads the arguments after the program's name. No arguments: the dialog, as always.
Request ReadArguments(const std::vector<std::string>& arguments);

// What the command line may hold and what the exit statuses mean.
std::string Usage();

// Compacts each database in turn with no question, box or standard input, and gives each
// its one line in the log at level 1; returns the highest status that occurred.
int CompactUnattended(const std::vector<std::string>& arguments);

}  // namespace StartModule
