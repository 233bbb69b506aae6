#include "components/posix/SystemCalls.h"

#include <stdio.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace Components::Posix {

namespace {

int RealOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

ssize_t RealCopyFileRange(int in, int out, std::size_t count) {
    return ::copy_file_range(in, nullptr, out, nullptr, count, 0);
}

int RealFcntl(int fd, int command, struct flock* lock) { return ::fcntl(fd, command, lock); }

int RealRenameNoReplace(const char* from, const char* to) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 28))
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
#else
    // RENAME_NOREPLACE is 1 in the kernel's interface.
    return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 1u));
#endif
}

int RealStat(const char* path, struct stat* status) { return ::stat(path, status); }
int RealLstat(const char* path, struct stat* status) { return ::lstat(path, status); }
int RealFstat(int fd, struct stat* status) { return ::fstat(fd, status); }
int RealStatvfs(const char* path, struct statvfs* status) { return ::statvfs(path, status); }

const SystemCalls kReal = {
    .Open = RealOpen,
    .Close = ::close,
    .Read = ::read,
    .Pread = ::pread,
    .Write = ::write,
    .CopyFileRange = RealCopyFileRange,
    .Stat = RealStat,
    .Lstat = RealLstat,
    .Readlink = ::readlink,
    .Fstat = RealFstat,
    .Fsync = ::fsync,
    .Fchmod = ::fchmod,
    .Fchown = ::fchown,
    .Flock = ::flock,
    .Fcntl = RealFcntl,
    .Unlink = ::unlink,
    .Link = ::link,
    .LinkAt = ::linkat,
    .RenameNoReplace = RealRenameNoReplace,
    .Rename = ::rename,
    .Mkdir = ::mkdir,
    .Statvfs = RealStatvfs,
    .ListXattr = ::listxattr,
    .GetXattr = ::getxattr,
    .FsetXattr = ::fsetxattr,
    .FremoveXattr = ::fremovexattr,
};

}  // namespace

const SystemCalls& RealSystemCalls() { return kReal; }

SystemCalls& Sys() {
    static SystemCalls table = kReal;
    return table;
}

}  // namespace Components::Posix
