// <windows.h> without the macros that would rename the components' own members
// (MessageBox, GetTempPath, GetTempFileName): every file here includes this instead.
#pragma once

#include <windows.h>

#undef MessageBox
#undef GetTempPath
#undef GetTempFileName

namespace Components::Win {

// The longest path Windows accepts (the "\\?\" form), in UTF-16 units without its NUL: every
// buffer a path is written into has room for it.
inline constexpr DWORD kLongPath = 32767;

}  // namespace Components::Win
