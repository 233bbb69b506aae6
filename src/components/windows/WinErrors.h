// Win32 failures become the program's error numbers.
#pragma once

#include <cstdint>
#include <string>

namespace Components::Win {

// The program's error number for a Win32 error code.
std::int32_t ErrorNumberFor(std::uint32_t win32Error);

// Raises the error for GetLastError(), naming the operation and the system's code, and
// leaves the code in the current-error record.
[[noreturn]] void RaiseLastError(const std::string& operation);

}  // namespace Components::Win
