// A database with a password: the engine is first asked without one, as for every database,
// and only where it answers that the database needs one is a password looked for.
#pragma once

#include <functional>
#include <string>

#include "general/qnGeneral.h"

namespace DAO_DatabaseFunctions {

// Has `compact(password)` write the copy, first with no password. Where it raises 3031, tries
// the password stored for `path` (SilentMode set), or asks the user (SilentMode clear) up to
// three times, and stores the one accepted when the user asked for that. Raises what the last
// try raised; with no password to try, 3031 saying that the database needs one and where to
// store it. False when the user cancelled: nothing has been written.
bool CompactWithPassword(const std::string& path, qnGeneral::Truth SilentMode,
                         const std::function<void(const std::string&)>& compact);

}  // namespace DAO_DatabaseFunctions
