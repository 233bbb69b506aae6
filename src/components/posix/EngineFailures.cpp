#include "components/posix/EngineFailures.h"

#include <cerrno>

#include "components/CurrentError.h"
#include "components/EngineErrors.h"
#include "components/posix/PosixErrors.h"
#include "components/posix/PosixPaths.h"

namespace Components::Posix {

void RaiseEngine(std::int32_t number, int error, const std::string& description) {
    if (error != 0) Err::Current().LastDllError = error;
    Err::Raise(number, description + (error != 0 ? " (" + SystemText(error) + ")" : ""));
}

void RaiseOpenSource(int error, const std::string& source) {
    switch (error) {
        case ENOENT:
            RaiseEngine(kEngineFileNotFound, 0, "Could not find file " + Quoted(source) + ".");
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EINVAL:
            RaiseEngine(kEngineInvalidPath, error, Quoted(source) + " isn't a valid path.");
        case EACCES:
        case EPERM:
            RaiseEngine(kEngineNoPermission, error,
                        "Cannot open the file " + Quoted(source) +
                            ": you need permission to read its data.");
        case ENXIO:
        case ENODEV:
            RaiseEngine(kEngineUnrecognisedFormat, error,
                        "Unrecognized database format " + Quoted(source) + ": it is a device.");
        default:
            RaiseEngine(kEngineDiskError, error,
                        "Disk or network error opening " + Quoted(source) + ".");
    }
}

void RaiseInUse(const std::string& source) {
    RaiseEngine(kEngineFileInUse, 0, InUseDescription(source) + ".");
}

// The engine's number for a failure to make or write the destination.
void RaiseWrite(int error, const std::string& destination, const char* doing) {
    switch (error) {
        case EEXIST:
            RaiseEngine(kEngineDatabaseExists, 0,
                        "Database " + Quoted(destination) + " already exists.");
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EISDIR:
        case EINVAL:
            RaiseEngine(kEngineInvalidPath, error, Quoted(destination) + " isn't a valid path.");
        case EACCES:
        case EPERM:
            RaiseEngine(kEngineNoPermission, error,
                        "Cannot write the file " + Quoted(destination) +
                            ": you need permission to create files in its folder.");
        case EROFS:
            RaiseEngine(kEngineReadOnly, error,
                        "Cannot write " + Quoted(destination) + ": the file system is read-only.");
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            RaiseEngine(kEngineDiskFull, error,
                        "Not enough space on disk for " + Quoted(destination) + ".");
        default:
            RaiseEngine(
                kEngineDiskError, error,
                std::string("Disk or network error ") + doing + " " + Quoted(destination) + ".");
    }
}

void RaiseRead(int error, const std::string& source) {
    RaiseEngine(kEngineDiskError, error, "Disk or network error reading " + Quoted(source) + ".");
}

}  // namespace Components::Posix
