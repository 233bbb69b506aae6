#include "components/posix/PosixErrors.h"

#include <cerrno>
#include <cstring>

#include "components/CurrentError.h"

namespace Components::Posix {

std::int32_t ErrorNumberFor(int error) {
    switch (error) {
        case EEXIST:
            return Err::kFileAlreadyExists;
        case ENOENT:
            return Err::kFileNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return Err::kPermissionDenied;
        case EXDEV:
            return 74;  // Can't rename with different drive
        case ENOSPC:
        case EDQUOT:
            return Err::kDiskFull;
        case ENOTDIR:
            return Err::kPathNotFound;
        default:
            return Err::kPathFileAccessError;
    }
}

namespace {

// strerror_r comes in two forms: the GNU one returns the text, which need not be the
// buffer; the XSI one fills the buffer and returns 0.
[[maybe_unused]] std::string TextOf(const char* text, const char*, int) { return text; }
[[maybe_unused]] std::string TextOf(int result, const char* buffer, int error) {
    return result == 0 ? std::string(buffer) : "system error " + std::to_string(error);
}

}  // namespace

std::string SystemText(int error) {
    char buffer[256] = {};
    return TextOf(::strerror_r(error, buffer, sizeof buffer), buffer, error);
}

void RaiseSystemError(int error, const std::string& what) {
    Err::Current().LastDllError = error;
    const std::int32_t number = ErrorNumberFor(error);
    Err::Raise(number, what + ": " + Err::StandardText(number) + " (" + SystemText(error) + ")");
}

}  // namespace Components::Posix
