// Where the user's own folders are, by the XDG base-directory rules.
#pragma once

#include <string>

namespace Components::Posix {

// $HOME when it is an absolute path, else the home folder of the user's account; empty when
// neither is known.
std::string HomeFolder();

// The XDG base folder named by `variable` when it holds an absolute path, else
// `underHome` inside the home folder; empty when there is no home folder. No trailing '/'.
std::string XdgFolder(const char* variable, const char* underHome);

// The folder part of a path, ending in '/'; empty when the path has none.
std::string FolderPart(const std::string& path);

// The file-name part: what follows the last '/'.
std::string NamePart(const std::string& path);

// The path between single quotes, as the program's messages show a file.
inline std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// Creates the folder and any missing folders above it, like mkdir -p; false with errno set
// when one cannot be made.
bool MakeFolders(const std::string& folder, unsigned mode);

}  // namespace Components::Posix
