#include "components/posix/DurableCopy.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "components/posix/Descriptor.h"
#include "components/posix/EngineFailures.h"
#include "components/posix/PosixPaths.h"

namespace Components::Posix {

namespace {

constexpr std::size_t kCopyBuffer = 1 << 20;  // bounded memory, whatever the database's size
constexpr std::size_t kLargestCopyCall = 1 << 30;

}  // namespace

// Copies exactly `size` bytes from the start of `in` to `out`: in the kernel where it can,
// through one bounded buffer where it cannot.
void CopyBytes(int in, int out, std::uint64_t size, const std::string& source,
               const std::string& destination) {
    std::uint64_t remaining = size;
    bool inKernel = true;
    std::vector<char> buffer;
    while (remaining > 0) {
        const std::size_t chunk = static_cast<std::size_t>(
            std::min<std::uint64_t>(remaining, inKernel ? kLargestCopyCall : kCopyBuffer));
        if (inKernel) {
            const ssize_t n = Retried([&] { return Sys().CopyFileRange(in, out, chunk); });
            if (n < 0) {
                const int error = errno;
                // No in-kernel copy between these two: both offsets are where they were.
                if (error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP ||
                    error == ETXTBSY || error == EBADF) {
                    inKernel = false;
                    continue;
                }
                // The call does not say which side failed; a full disk is the writer's.
                if (error == ENOSPC || error == EDQUOT || error == EFBIG || error == EROFS) {
                    RaiseWrite(error, destination, "writing");
                }
                RaiseRead(error, source);
            }
            if (n == 0) RaiseInUse(source);  // it shrank while it was being copied
            remaining -= static_cast<std::uint64_t>(n);
            continue;
        }
        if (buffer.empty()) buffer.resize(kCopyBuffer);
        int error = 0;
        const std::size_t got = ReadFull(in, buffer.data(), chunk, -1, error);
        if (error != 0) RaiseRead(error, source);
        if (got < chunk) RaiseInUse(source);
        if (const int failure = WriteAll(out, buffer.data(), got); failure != 0) {
            RaiseWrite(failure, destination, "writing");
        }
        remaining -= got;
    }
}

// Where the file system can, the copy is written into a file that has no name yet and is
// named only once it is whole and synced, so a crash mid-copy leaves nothing under the
// destination. -1 when no such file can be made here: the named file is used then.
int OpenUnnamed(const std::string& destination) {
    // The file is named through /proc/self/fd; without it, it could never be named.
    struct stat proc;
    if (Sys().Stat("/proc/self/fd", &proc) != 0) return -1;
    std::string folder = FolderPart(destination);
    if (folder.empty()) folder = ".";
    const int fd = OpenRetried(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    // No such files on this file system (EOPNOTSUPP) or in this kernel (EISDIR, EINVAL).
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return -1;
    RaiseWrite(errno, destination, "creating");
}

int CreateNamed(const std::string& destination) {
    // Made here, never opened: an existing file or link under the name is an error.
    const int created = OpenRetried(
        destination.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
    if (created < 0) RaiseWrite(errno, destination, "creating");
    return created;
}

// Gives the unnamed copy its name; like O_EXCL, never over a file or a link that is there.
void Name(int fd, const std::string& destination) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (Sys().LinkAt(AT_FDCWD, self.c_str(), AT_FDCWD, destination.c_str(), AT_SYMLINK_FOLLOW) !=
        0) {
        RaiseWrite(errno, destination, "naming");
    }
}

}  // namespace Components::Posix
