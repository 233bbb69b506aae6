// A database with a password: the engine is first asked without one, as for every database,
// and only where it answers that the database needs one is a password looked for. With a
// workgroup, the engine signs in with its account first, with the password stored for it or
// none, and only where it refuses that is the user asked.
#pragma once

#include <functional>
#include <string>

#include "components/DatabaseEngine.h"
#include "general/qnGeneral.h"

namespace DAO_DatabaseFunctions {

// From now on the engine signs in as `user` of the workgroup information file at the full path
// `workgroup` for every compaction; an empty `workgroup`: with its default account, as always.
void UseWorkgroup(const std::string& workgroup, const std::string& user);

// Has `compact(password, account)` write the copy, first with no password. Where it raises 3031,
// tries the password stored for `path` (SilentMode set), or asks the user (SilentMode clear) up to
// three times, and stores the one accepted when the user asked for that. Raises what the last
// try raised; with no password to try, 3031 saying that the database needs one and where to
// store it. With a workgroup, the account's password is the stored one or none, and where the
// engine raises 3029, the user is asked for it (SilentMode clear) or 3029 is raised saying where
// to store it. False when the user cancelled: nothing has been written.
bool CompactWithPassword(
    const std::string& path, qnGeneral::Truth SilentMode,
    const std::function<void(const std::string&, const Components::Account&)>& compact);

}  // namespace DAO_DatabaseFunctions
