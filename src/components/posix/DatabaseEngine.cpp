// The stand-in for the database engine's CompactDatabase. No such engine exists on Linux,
// so it does the honest part of a compaction and no more: it locks the source (another
// process holding a lock means the database is in use), checks that the file is a database
// of the engine's family whose structure is sound, and writes a byte-for-byte copy to the
// destination, never over an existing file, with the source's permission bits, synced to disk
// before it returns. The copy gets the destination's name only once it is whole where the file
// system allows; when anything fails after the name was given, the copy is removed again. The
// copy is checked too: one that lacks rows of the source is kept for the user to inspect.
#include "components/DatabaseEngine.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "components/CurrentError.h"
#include "components/EngineErrors.h"
#include "components/jet/CopyProof.h"
#include "components/posix/DatabaseFormat.h"
#include "components/posix/DatabaseLock.h"
#include "components/posix/DescriptorPages.h"
#include "components/posix/PosixErrors.h"
#include "components/posix/PosixPaths.h"
#include "components/posix/SystemCalls.h"

namespace Components {

namespace {

using namespace Posix;

constexpr std::size_t kCopyBuffer = 1 << 20;  // bounded memory, whatever the database's size
constexpr std::size_t kLargestCopyCall = 1 << 30;

[[noreturn]] void Raise(std::int32_t number, int error, const std::string& description) {
    if (error != 0) Err::Current().LastDllError = error;
    Err::Raise(number, description + (error != 0 ? " (" + SystemText(error) + ")" : ""));
}

// Owns one descriptor.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    void Adopt(int fd) {
        Reset();
        fd_ = fd;
    }
    // Closes it and answers the close's error (0 when none).
    int Close() {
        if (fd_ < 0) return 0;
        const int result = Sys().Close(fd_);
        fd_ = -1;
        return result == 0 || errno == EINTR ? 0 : errno;
    }

  private:
    void Reset() {
        if (fd_ >= 0) Sys().Close(fd_);
        fd_ = -1;
    }
    int fd_;
};

// --- the source --------------------------------------------------------------------------

[[noreturn]] void RaiseOpenSource(int error, const std::string& source) {
    switch (error) {
        case ENOENT:
            Raise(kEngineFileNotFound, 0, "Could not find file " + Quoted(source) + ".");
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EINVAL:
            Raise(kEngineInvalidPath, error, Quoted(source) + " isn't a valid path.");
        case EACCES:
        case EPERM:
            Raise(kEngineNoPermission, error,
                  "Cannot open the file " + Quoted(source) +
                      ": you need permission to read its data.");
        case ENXIO:
        case ENODEV:
            Raise(kEngineUnrecognisedFormat, error,
                  "Unrecognized database format " + Quoted(source) + ": it is a device.");
        default:
            Raise(kEngineDiskError, error, "Disk or network error opening " + Quoted(source) + ".");
    }
}

// A folder, a FIFO, a device or a socket is refused before it is read, so nothing blocks.
void CheckRegular(const struct stat& status, const std::string& source) {
    if (S_ISDIR(status.st_mode)) {
        Raise(kEngineInvalidPath, 0,
              Quoted(source) + " isn't a valid path: it is a folder, not a database file.");
    }
    if (!S_ISREG(status.st_mode)) {
        Raise(kEngineUnrecognisedFormat, 0,
              "Unrecognized database format " + Quoted(source) +
                  ": it is not a regular file (a FIFO, a device or a socket).");
    }
}

void OpenSource(const std::string& source, Descriptor& fd, struct stat& status) {
    if (source.empty()) Raise(kEngineInvalidPath, 0, "'' isn't a valid path.");
    if (Sys().Stat(source.c_str(), &status) != 0) RaiseOpenSource(errno, source);
    CheckRegular(status, source);
    int opened;
    do {
        opened = Sys().Open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0);
    } while (opened < 0 && errno == EINTR);
    if (opened < 0) RaiseOpenSource(errno, source);
    fd.Adopt(opened);
    // What was opened is what is checked: the name may have changed since the stat.
    if (Sys().Fstat(fd.Get(), &status) != 0) RaiseOpenSource(errno, source);
    CheckRegular(status, source);
}

[[noreturn]] void RaiseInUse(const std::string& source) {
    Raise(kEngineFileInUse, 0, InUseDescription(source) + ".");
}

// --- the destination ---------------------------------------------------------------------

// The engine's number for a failure to make or write the destination.
[[noreturn]] void RaiseWrite(int error, const std::string& destination, const char* doing) {
    switch (error) {
        case EEXIST:
            Raise(kEngineDatabaseExists, 0, "Database " + Quoted(destination) + " already exists.");
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EISDIR:
        case EINVAL:
            Raise(kEngineInvalidPath, error, Quoted(destination) + " isn't a valid path.");
        case EACCES:
        case EPERM:
            Raise(kEngineNoPermission, error,
                  "Cannot write the file " + Quoted(destination) +
                      ": you need permission to create files in its folder.");
        case EROFS:
            Raise(kEngineReadOnly, error,
                  "Cannot write " + Quoted(destination) + ": the file system is read-only.");
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            Raise(kEngineDiskFull, error,
                  "Not enough space on disk for " + Quoted(destination) + ".");
        default:
            Raise(kEngineDiskError, error,
                  std::string("Disk or network error ") + doing + " " + Quoted(destination) + ".");
    }
}

[[noreturn]] void RaiseRead(int error, const std::string& source) {
    Raise(kEngineDiskError, error, "Disk or network error reading " + Quoted(source) + ".");
}

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
            const ssize_t n = Sys().CopyFileRange(in, out, chunk);
            if (n < 0) {
                const int error = errno;
                if (error == EINTR) continue;
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
        const ssize_t got = Sys().Read(in, buffer.data(), chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) RaiseRead(errno, source);
        if (got == 0) RaiseInUse(source);
        std::size_t written = 0;
        while (written < static_cast<std::size_t>(got)) {
            const ssize_t n =
                Sys().Write(out, buffer.data() + written, static_cast<std::size_t>(got) - written);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) RaiseWrite(n < 0 ? errno : EIO, destination, "writing");
            written += static_cast<std::size_t>(n);
        }
        remaining -= static_cast<std::uint64_t>(got);
    }
}

// A copy of a file that changed meanwhile is no copy of the database.
void CheckUnchanged(int fd, const struct stat& before, const std::string& source) {
    struct stat after;
    if (Sys().Fstat(fd, &after) != 0) RaiseRead(errno, source);
    if (after.st_size != before.st_size || after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
        after.st_mtim.tv_nsec != before.st_mtim.tv_nsec) {
        Raise(kEngineFileInUse, 0,
              "Could not use " + Quoted(source) +
                  "; it was changed by another process while it was being copied.");
    }
}

// The new name must survive a power cut too, so its folder's entry is synced as well.
void SyncFolder(const std::string& destination) {
    std::string folder = FolderPart(destination);
    if (folder.empty()) folder = ".";
    const int opened = Sys().Open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (opened < 0) return;  // a folder we may write but not read cannot be synced
    Descriptor fd(opened);
    if (Sys().Fsync(fd.Get()) != 0 && errno != EINVAL && errno != EROFS && errno != EINTR) {
        RaiseWrite(errno, destination, "syncing the folder of");
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
    int fd;
    do {
        fd = Sys().Open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) return fd;
    // No such files on this file system (EOPNOTSUPP) or in this kernel (EISDIR, EINVAL).
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return -1;
    RaiseWrite(errno, destination, "creating");
}

int CreateNamed(const std::string& destination) {
    int created;
    do {
        // Made here, never opened: an existing file or link under the name is an error.
        created = Sys().Open(destination.c_str(),
                             O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
    } while (created < 0 && errno == EINTR);
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

// The copy, read back from its own descriptor, against the source.
Jet::CopyProof ProveCopy(int fd, std::uint64_t size, const Jet::CheckReport& source,
                         const std::string& sourceName, const std::string& destination) {
    const DescriptorPages pages(fd, size);
    return Jet::ProveCopy(source, Jet::CheckDatabase(pages), sourceName, destination);
}

// The permission bits the database has; a file system that refuses to change them (as some
// FUSE mounts do) may already show them so.
void CopyPermissions(int fd, const struct stat& status, const std::string& destination) {
    if (Sys().Fchmod(fd, status.st_mode & 0777) == 0) return;
    const int error = errno;
    struct stat now;
    if (Sys().Fstat(fd, &now) == 0 && (now.st_mode & 0777) == (status.st_mode & 0777)) return;
    RaiseWrite(error, destination, "setting the permissions of");
}

class CopyingDatabaseEngine final : public DatabaseEngine {
  public:
    void CompactDatabase(std::string source, std::string destination) override {
        note_.clear();
        Descriptor in;
        struct stat status;
        OpenSource(source, in, status);
        const DatabaseLock lock(source, in.Get());
        const Jet::CheckReport checked =
            CheckSource(in.Get(), static_cast<std::uint64_t>(status.st_size), source);

        if (destination.empty()) Raise(kEngineInvalidPath, 0, "'' isn't a valid path.");
        Descriptor out(OpenUnnamed(destination));
        // Whether a file of ours stands under the destination's name: only that is removed.
        bool named = out.Get() < 0;
        if (named) out.Adopt(CreateNamed(destination));
        try {
            CopyBytes(in.Get(), out.Get(), static_cast<std::uint64_t>(status.st_size), source,
                      destination);
            CheckUnchanged(in.Get(), status, source);
            // Owner and group as the database had them where this user may give them; the
            // permission bits always.
            if (status.st_uid != ::geteuid() || status.st_gid != ::getegid()) {
                (void)Sys().Fchown(out.Get(), status.st_uid, status.st_gid);
            }
            CopyPermissions(out.Get(), status, destination);
            if (Sys().Fsync(out.Get()) != 0) RaiseWrite(errno, destination, "syncing");
            const Jet::CopyProof proof =
                ProveCopy(out.Get(), static_cast<std::uint64_t>(status.st_size), checked, source,
                          destination);
            note_ = proof.Note;
            if (!named) {
                Name(out.Get(), destination);
                named = true;
            }
            if (const int error = out.Close(); error != 0) {
                RaiseWrite(error, destination, "closing");
            }
            SyncFolder(destination);
            if (proof.Shortfall) {
                named = false;  // kept under its name for the user to inspect: the report names it
                Raise(kEngineCannotRepair, 0, *proof.Shortfall);
            }
        } catch (const Err::Error& error) {
            // No half copy stays behind under the name; should it have to, the report says
            // where it is.
            out.Close();
            if (named && Sys().Unlink(destination.c_str()) != 0 && errno != ENOENT) {
                Err::Raise(error.Number(), error.Description() + " The unfinished copy " +
                                               Quoted(destination) + " could not be removed (" +
                                               SystemText(errno) + ").");
            }
            throw;
        } catch (...) {
            out.Close();
            if (named) Sys().Unlink(destination.c_str());
            throw;
        }
    }

    std::string Note() const override { return note_; }

  private:
    std::string note_;
};

}  // namespace

std::unique_ptr<DatabaseEngine> CreatePlatformInstance(Tag<DatabaseEngine>) {
    return std::make_unique<CopyingDatabaseEngine>();
}

}  // namespace Components
