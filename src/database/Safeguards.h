// What the compact operation makes sure of around the engine's work: before anything is
// written, that no one else has the database open and that its folder has room for the copy;
// before the copy takes the database's place, that it carries the database's access rules.
#pragma once

#include <cstdint>
#include <string>

#include "general/qnGeneral.h"

namespace DAO_DatabaseFunctions {

// The engine's error numbers that mean another user or process has the database open or
// locked: trying again later may succeed.
bool MeansInUse(std::int32_t number);

// True when the database may be compacted now. Otherwise the problem has been reported (3045
// when it is open elsewhere, with the names its lock file holds; 3026 when its folder has less
// free space than the database's size, with both figures) and nothing has been written.
// Raises nothing.
bool ReadyToCompact(const std::string& path, qnGeneral::Truth SilentMode);

// Gives the compacted copy the database's access rules. When they cannot all be given, the
// copy is removed, the problem reported and False returned; the database has not been
// touched. An owner that cannot be given is only logged. Raises nothing.
bool CopyTakesTheDatabasesRules(const std::string& path, const std::string& copy,
                                qnGeneral::Truth SilentMode);

// Whom the lock file beside the database names ("WS01 (user Admin), WS07 (user kim)"); empty
// when there is none, it names no one, or it cannot be read. A lock file stays behind after
// a crash, so this only names: it never says that a database is in use.
std::string LockFileHolders(const std::string& path);

}  // namespace DAO_DatabaseFunctions
