// How a failed system call becomes the program's error number and description.
#pragma once

#include <cstdint>
#include <string>

namespace Components::Posix {

// The program's number for an errno value: EEXIST 58, ENOENT 53, EACCES/EPERM/EROFS 70,
// EXDEV 74, ENOSPC/EDQUOT 61, ENOTDIR 76, anything else 75.
std::int32_t ErrorNumberFor(int error);

// Leaves `error` as the system error code in the current-error record and raises the
// program's error for it; the description starts with `what` (the operation and its paths)
// and ends with the standard text and the system's own wording.
[[noreturn]] void RaiseSystemError(int error, const std::string& what);

// The system's wording for an errno value.
std::string SystemText(int error);

}  // namespace Components::Posix
