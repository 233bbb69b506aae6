#include "components/windows/WinErrors.h"

#include "components/windows/Win32.h"

#include "components/CurrentError.h"

namespace Components::Win {

std::int32_t ErrorNumberFor(std::uint32_t win32Error) {
    switch (win32Error) {
        case ERROR_FILE_NOT_FOUND:
            return Err::kFileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return Err::kPathNotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return Err::kPermissionDenied;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return Err::kFileAlreadyExists;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return Err::kDiskFull;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return Err::kOutOfMemory;
        case ERROR_INVALID_NAME:
            return Err::kBadFileNameOrNumber;
        default:
            return Err::kPathFileAccessError;
    }
}

void RaiseLastError(const std::string& operation) {
    const DWORD code = GetLastError();
    Err::Current().LastDllError = code;
    const std::int32_t number = ErrorNumberFor(code);
    Err::Raise(number, operation + ": " + Err::StandardText(number) + " (system error " +
                           std::to_string(code) + ")");
}

}  // namespace Components::Win
