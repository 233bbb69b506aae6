// What one compaction came to, as the unattended run, its exit status and its log line need
// it: read from here only, never from the current error or the boxes.
#pragma once

#include <cstdint>
#include <string>

namespace DAO_DatabaseFunctions {

struct Outcome {
    enum Kinds { kCompacted, kDeclined, kInUse, kFailed } Kind = kDeclined;
    std::int32_t Number = 0;  // the error the report gave; 0 for the program's own reports
    std::string Message;      // the report as shown and logged; empty when nothing was said
    std::string Backup;       // where the old database is, once it has left its name
    std::string KeptCopy;     // the compacted copy, where one was left beside the database
    std::int64_t SizeBefore = -1, SizeAfter = -1;  // the database's bytes; -1 when not known
    std::string NearLimit;  // compacted, but close to its format's size limit: the warning

    // A failure reported with `number`: in use where that number means another holds the
    // database, so that trying again later may succeed.
    static Outcome Reported(std::int32_t number, std::string message);
};

}  // namespace DAO_DatabaseFunctions
