// A layer in front of the system-call table that counts every call and can make one of
// them, the Nth, fail with a chosen errno or end the process as a crash would; below it, a
// watch on which files are given a name while what was written to them is not yet on disk.
#pragma once

#include <string>

namespace FaultInjection {

// Puts the layer in front of whatever the table holds now. With `failAt` 0 nothing fails;
// with `error` 0 the process kills itself (SIGKILL) at call `failAt` instead of failing it.
// With `fromThenOn` every later call fails too, as on a disk that has died.
void Install(long failAt, int error, bool fromThenOn = false);

// Whether the fault was reached.
bool Fired();

// The first name given (by a link or a rename) to a file whose written bytes no fsync has yet
// brought to disk, a failed one included; empty when there was none.
std::string NamedUnsynced();

// Before the first call that would make a file under a name that ends in `suffix` (an
// exclusive open, a link, a rename), someone else's file with `bytes` appears there.
void PlantBefore(const std::string& suffix, const std::string& bytes);

}  // namespace FaultInjection
