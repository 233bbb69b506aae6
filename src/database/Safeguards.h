// What the compact operation makes sure of around the engine's work: before anything is
// written, that no one else has the database open and that its folder has room for the copy;
// before the copy takes the database's place, a free name for the old file; after, that the
// user hears when the database is close to the most its format can hold.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "components/CurrentError.h"
#include "database/Outcome.h"
#include "general/qnGeneral.h"

namespace DAO_DatabaseFunctions {

// The engine's error numbers that mean another user or process has the database open or
// locked: trying again later may succeed.
bool MeansInUse(std::int32_t number);

// Nothing when the database may be compacted now. Otherwise the problem has been reported
// (3045 when it is open elsewhere, with the names its lock file holds; 3026 when its folder
// has less free space than the database's size, with both figures), nothing has been written,
// and the refusal is returned. Raises nothing.
std::optional<Outcome> ReadyToCompact(const std::string& path, qnGeneral::Truth SilentMode);

// The first free backup name of the database at `path`, or why there is none: every number
// taken or unreadable, or the same lookup error for so many names in a row that it is the
// share that fails, not the name. Raises nothing.
struct BackupSearch {
    std::string Name;               // empty when none was found
    bool Exhausted = false;         // every name up to -32767.BAK was taken or unreadable
    Err::CurrentErrorRecord Cause;  // otherwise the lookup error that kept coming back
};
BackupSearch FindBackupName(const std::string& path);
inline constexpr int kSameLookupErrorsInARow = 16;

// Whom the lock file beside the database names ("WS01 (user Admin), WS07 (user kim)"); empty
// when there is none, it names no one, or it cannot be read. A lock file stays behind after
// a crash, so this only names: it never says that a database is in use.
std::string LockFileHolders(const std::string& path);

// Once the compacted database has its name: the warning for it when it has reached 90 % of
// its format's size limit, shown in a box of its own unless SilentMode is set; empty when it
// has not, or its size or format cannot be read. Raises nothing.
std::string WarnNearLimit(const std::string& path, qnGeneral::Truth SilentMode);

}  // namespace DAO_DatabaseFunctions
