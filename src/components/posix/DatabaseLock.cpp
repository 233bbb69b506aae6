#include "components/posix/DatabaseLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>

#include "components/CurrentError.h"
#include "components/EngineErrors.h"
#include "components/posix/Descriptor.h"
#include "components/posix/PosixErrors.h"
#include "components/posix/SystemCalls.h"

namespace Components::Posix {

namespace {

[[noreturn]] void RaiseInUse(const std::string& path) {
    Err::Raise(kEngineFileInUse, InUseDescription(path) + ".");
}

[[noreturn]] void RaiseCannotLock(int error, const std::string& path) {
    Err::Current().LastDllError = error;
    Err::Raise(kEngineCannotLock,
               "Could not lock file '" + path + "'. (" + SystemText(error) + ")");
}

// The same file on both descriptors, so a name swapped meanwhile is not what gets locked.
bool SameFile(int a, int b) {
    struct stat sa, sb;
    return Sys().Fstat(a, &sa) == 0 && Sys().Fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

DatabaseLock::DatabaseLock(const std::string& path, int fd) {
    // NFS locks only files open for writing (flock answers EBADF on the others), so a
    // descriptor for writing is used where this user may have one; it writes nothing.
    own_ = Sys().Open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0);
    if (own_ >= 0 && !SameFile(own_, fd)) {
        Sys().Close(own_);
        own_ = -1;
    }
    const int lockFd = own_ >= 0 ? own_ : fd;
    const int result = Retried([&] { return Sys().Flock(lockFd, LOCK_EX | LOCK_NB); });
    const int flockError = result == 0 ? 0 : errno;
    if (flockError == EWOULDBLOCK) RaiseInUse(path);
    // A read lock on the whole file: any process holding a POSIX write lock there refuses it,
    // and where flock() gives nothing it is the lock others meet.
    struct flock probe {};
    probe.l_type = F_RDLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;  // the whole file and beyond
    if (Sys().Fcntl(fd, F_OFD_SETLK, &probe) == 0) return;
    if (errno == EAGAIN || errno == EACCES) RaiseInUse(path);
    if (flockError != 0) RaiseCannotLock(flockError, path);
}

DatabaseLock::~DatabaseLock() {
    if (own_ >= 0) Sys().Close(own_);
}

}  // namespace Components::Posix
