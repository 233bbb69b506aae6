// The command-line checker: the structural check of each database file named, printed one
// fact to a line for people and scripts alike.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace Checker {

// Exit statuses: a file's own, and for several files the gravest among them, damage first.
enum : int { kSound = 0, kDamaged = 1, kUnusable = 2, kNotChecked = 3 };

// Prints, for each file, one line per table of its catalog (system tables included)
// "table\t<name>\t<live rows>", then "pages\t<total>\t<in use>\t<free>\t<allocated but
// unreferenced>", for a database at 90 % or more of its format's size limit "warning\t<the
// line the program logs for it>", then "sound", "damaged\t<finding>" or "not checked\t<why>";
// a file that is no database or cannot be read gets only "not a database\t<why>" or
// "unreadable\t<why>".
// A damaged file or one not checked shows what was counted before the check stopped (no
// pages line when the pages were not counted). With several files, each one's lines begin
// with "file\t<path>". Returns the exit status.
int CheckFiles(const std::vector<std::string>& paths, std::ostream& out);

}  // namespace Checker
