// The one folder sync. A name lives in its folder, so a new name survives a power cut only once
// the folder itself is synced.
//
// Its policy, for every caller: a sync that fails before anything has been replaced fails the
// run, and the copy is removed; once a rename has happened there is no going back, so the
// failure is logged and the run goes on.
#pragma once

#include <string>

namespace Components::Posix {

// Syncs the folder that holds `path`. Answers 0, or the errno of the failure. A folder this
// user may write but not read, and a file system that syncs no folders (EINVAL, EROFS), count
// as synced: nothing more can be done there.
int SyncFolderOf(const std::string& path);

}  // namespace Components::Posix
