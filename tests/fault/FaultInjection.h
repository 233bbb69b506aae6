// A layer in front of the system-call table that counts every call and can make one of
// them, the Nth, fail with a chosen errno or end the process as a crash would; above it, what
// a power cut would leave of one folder: its names as at its last sync, and each file's bytes
// as at the file's last sync.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>

#include "support/Invariant.h"

namespace FaultInjection {

// Puts the layer in front of whatever the table holds now. With `failAt` 0 nothing fails;
// otherwise call `failAt` of this thread fails, or with a negative `failAt` call -`failAt` of
// the others; with `error` 0 the power is cut and the process kills itself (SIGKILL) there
// instead. With `fromThenOn` every later call fails too, as on a dead disk.
void Install(long failAt, int error, bool fromThenOn = false);

// Whether the fault was reached.
bool Fired();

// From now on what is in `folder` counts as on disk. Each power cut (a crash, or a call
// here) writes to `into` what the disk then holds there: "name inode size\n" and the bytes.
void CutsShow(const std::string& folder, const std::string& into);
void PowerCut();

using File = WholeRun::File;

// What the last power cut wrote to `into`, by name.
std::map<std::string, File> Cut(const std::string& into);

// Before the first call that would make a file under a name that ends in `suffix` (an
// exclusive open, a link, a rename), someone else's file with `bytes` appears there.
void PlantBefore(const std::string& suffix, const std::string& bytes);

}  // namespace FaultInjection
