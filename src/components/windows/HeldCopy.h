// What is done to the engine's copy once the run holds its database: the copy is proven
// against the database, flushed to disk and checked to keep the database's password.
#pragma once

#include <string>

namespace Components::Win {

// Raises 3056 when the copy `destination` lacks rows or tables of `source` (the copy left for
// the user), or does not keep its password (the copy removed); raises the system's error when
// it cannot be flushed (removed where it can be). Gives back the proof's note for the log.
std::string ProveAndFlushCopy(const std::string& source, const std::string& destination);

}  // namespace Components::Win
