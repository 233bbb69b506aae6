// A path as a user types it, in a dialog or on the command line, made into the file meant.
#pragma once

#include <string>

namespace Components::Posix {

// The full path of `typed`: "~/" is the home folder, and a relative path is taken in `folder`
// (the working folder when empty). A symbolic link in its last part is followed to the file
// it leads to, as the Windows dialog dereferences a shortcut, so that the compaction happens
// beside the database itself and the link still leads to it. Empty stays empty.
std::string TypedPath(const std::string& typed, const std::string& folder);

}  // namespace Components::Posix
