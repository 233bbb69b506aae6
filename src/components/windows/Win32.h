// <windows.h> without the macros that would rename the components' own members
// (MessageBox, GetTempPath, GetTempFileName): every file here includes this instead.
#pragma once

#include <windows.h>

#undef MessageBox
#undef GetTempPath
#undef GetTempFileName
