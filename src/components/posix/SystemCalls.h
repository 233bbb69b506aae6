// The file-system calls the POSIX components make, reached through one process-wide table so
// that a test can make any of them fail (or stop the process) and prove what the components
// leave behind. Each entry has the calling convention of the system call it stands for:
// -1 (or a negative count) with errno set on failure.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <cstddef>

namespace Components::Posix {

struct SystemCalls {
    int (*Open)(const char* path, int flags, mode_t mode);
    int (*Close)(int fd);
    ssize_t (*Read)(int fd, void* buffer, std::size_t count);
    ssize_t (*Pread)(int fd, void* buffer, std::size_t count, off_t offset);
    ssize_t (*Write)(int fd, const void* buffer, std::size_t count);
    // copy_file_range between the two descriptors' own file offsets.
    ssize_t (*CopyFileRange)(int in, int out, std::size_t count);
    int (*Stat)(const char* path, struct stat* status);   // follows symbolic links
    int (*Lstat)(const char* path, struct stat* status);  // does not
    ssize_t (*Readlink)(const char* path, char* buffer, std::size_t size);
    int (*Fstat)(int fd, struct stat* status);
    int (*Fsync)(int fd);
    int (*Fchmod)(int fd, mode_t mode);
    int (*Fchown)(int fd, uid_t owner, gid_t group);
    int (*Flock)(int fd, int operation);
    int (*Fcntl)(int fd, int command, struct flock* lock);
    int (*Unlink)(const char* path);
    int (*Link)(const char* from, const char* to);
    // linkat(fromFolder, from, toFolder, to, flags): with AT_SYMLINK_FOLLOW and a
    // /proc/self/fd/N path it names a file made with O_TMPFILE.
    int (*LinkAt)(int fromFolder, const char* from, int toFolder, const char* to, int flags);
    // renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE).
    int (*RenameNoReplace)(const char* from, const char* to);
    int (*Rename)(const char* from, const char* to);  // rename(), which replaces
    int (*Mkdir)(const char* path, mode_t mode);
    int (*Statvfs)(const char* path, struct statvfs* status);
    // The extended attributes: read by path (following links), written through a descriptor.
    ssize_t (*ListXattr)(const char* path, char* names, std::size_t size);
    ssize_t (*GetXattr)(const char* path, const char* name, void* value, std::size_t size);
    int (*FsetXattr)(int fd, const char* name, const void* value, std::size_t size, int flags);
    int (*FremoveXattr)(int fd, const char* name);
};

// The table every POSIX component calls through; it starts as RealSystemCalls().
SystemCalls& Sys();

// The operating system's own calls.
const SystemCalls& RealSystemCalls();

// Puts the real calls back when it goes out of scope; for tests that replace entries.
class SystemCallsRestorer {
  public:
    SystemCallsRestorer() = default;
    ~SystemCallsRestorer() { Sys() = RealSystemCalls(); }
    SystemCallsRestorer(const SystemCallsRestorer&) = delete;
    SystemCallsRestorer& operator=(const SystemCallsRestorer&) = delete;
};

}  // namespace Components::Posix
