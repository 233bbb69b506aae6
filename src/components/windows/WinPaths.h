// Paths as the file calls take them. Below MAX_PATH a path goes to Windows as the user gave it;
// from MAX_PATH on only its "\\?\" form reaches the file, and a program that knows no such form
// (the database engine) is given the path's short form instead. Messages and the log always
// show the user's own path, never these forms.
#pragma once

#include <string>
#include <string_view>

namespace Components::Win {

// The wide path for a file call: as it stands below MAX_PATH characters; from MAX_PATH on made
// absolute and given "\\?\" ("\\?\UNC\" for a share), as the system takes such a path exactly.
std::wstring FilePath(std::string_view utf8);

// The path in under MAX_PATH characters, for a program that takes no longer one: the path
// itself where it is short enough, else its short (8.3) form, or for a file not made yet its
// folder's short form and its own name. Empty where the volume keeps no short form that fits.
std::string ShortEnough(const std::string& utf8);

}  // namespace Components::Win
