// Text crosses into Windows here: UTF-8 inside the program, UTF-16 or the narrow code page
// only at the API.
#pragma once

#include <string>
#include <string_view>

namespace Components::Win {

// Invalid UTF-8 comes out as U+FFFD rather than failing: a prompt or a path with a stray
// byte is still worth showing to the user.
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The system's narrow code page (CP_ACP); characters it cannot hold become its default
// character.
std::string Narrow(std::string_view utf8);

}  // namespace Components::Win
