// How a failed system call becomes a raised error on this platform.
#pragma once

#include <string>

namespace Posix {

// Raises the standard error that fits errno, naming the operation and the path, and
// leaves errno as the system error code.
[[noreturn]] void RaiseFromErrno(const std::string& operation, const std::string& path);

}  // namespace Posix
