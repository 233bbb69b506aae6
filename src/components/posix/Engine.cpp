// The engine's compaction as far as it can be done here: no such engine exists on this
// platform, so the stand-in locks the database, checks that it is one, and writes a
// byte-for-byte copy to the new name, complete on disk before it returns.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "components/CurrentError.h"
#include "components/DatabaseEngine.h"
#include "components/posix/DatabaseFormat.h"

namespace Components {

namespace {

// The engine's own error numbers.
enum : std::int32_t {
    kCouldNotFindFile = 3024,
    kNotEnoughSpace = 3026,
    kNotAValidPath = 3044,
    kFileInUse = 3045,
    kCannotOpenCorrupt = 3049,
    kCannotOpenPermission = 3051,
    kDatabaseExists = 3204,
    kUnrecognizedFormat = 3343,
    kDiskError = 3043,
};

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

[[noreturn]] void RaiseEngine(std::int32_t number, const std::string& description) {
    Err::Current().LastDllError = errno;
    Err::Raise(number, description);
}

[[noreturn]] void RaiseOpenFailure(const std::string& path) {
    switch (errno) {
        case ENOENT:
            RaiseEngine(kCouldNotFindFile, "Could not find the file '" + path + "'.");
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            RaiseEngine(kNotAValidPath, "'" + path + "' is not a valid path.");
        case EACCES:
        case EPERM:
            RaiseEngine(kCannotOpenPermission,
                        "Cannot open the file '" + path + "': permission to read it is missing.");
        default:
            RaiseEngine(kDiskError,
                        "Disk or network error on '" + path + "': " + std::strerror(errno));
    }
}

[[noreturn]] void RaiseWriteFailure(const std::string& path) {
    if (errno == ENOSPC || errno == EDQUOT) {
        RaiseEngine(kNotEnoughSpace, "Not enough space on disk for '" + path + "'.");
    }
    if (errno == EACCES || errno == EPERM || errno == EROFS) {
        RaiseEngine(kCannotOpenPermission,
                    "Cannot write the file '" + path + "': permission denied.");
    }
    if (errno == EEXIST)
        RaiseEngine(kDatabaseExists, "The database '" + path + "' already exists.");
    if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP) {
        RaiseEngine(kNotAValidPath, "'" + path + "' is not a valid path.");
    }
    RaiseEngine(kDiskError, "Disk or network error on '" + path + "': " + std::strerror(errno));
}

void CheckIsDatabase(int fd, const std::string& source, std::uint64_t size) {
    unsigned char header[kHeaderBytes];
    std::size_t got = 0;
    while (got < sizeof header) {
        const ssize_t n = pread(fd, header + got, sizeof header - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) RaiseOpenFailure(source);
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    switch (CheckDatabaseHeader(header, got, size)) {
        case DatabaseVerdict::kDatabase:
            return;
        case DatabaseVerdict::kUnrecognised:
            RaiseEngine(kUnrecognizedFormat, "Unrecognized database format '" + source + "'.");
        case DatabaseVerdict::kCorrupt:
            RaiseEngine(kCannotOpenCorrupt, "Cannot open the database '" + source +
                                                "': its length is not a whole number of pages, "
                                                "so the file may be corrupt.");
    }
}

// Copies in bounded memory, whatever the database's size.
void Copy(int from, int to, const std::string& source, const std::string& destination) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) RaiseOpenFailure(source);
        if (got == 0) return;
        for (ssize_t put = 0; put < got;) {
            const ssize_t n = write(to, buffer.data() + put, static_cast<std::size_t>(got - put));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) RaiseWriteFailure(destination);
            put += n;
        }
    }
}

void SyncFolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    Descriptor dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0 && fsync(dir.get()) != 0 && errno != EINVAL) RaiseWriteFailure(path);
}

class StandInEngine : public DatabaseEngine {
  public:
    void CompactDatabase(std::string source, std::string destination) override {
        if (source.empty()) RaiseEngine(kNotAValidPath, "'' is not a valid path.");
        if (destination.empty()) RaiseEngine(kNotAValidPath, "'' is not a valid path.");
        // Non-blocking, so a pipe under the database's name cannot hang the run.
        Descriptor in(open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (in.get() < 0) RaiseOpenFailure(source);
        struct stat info {};
        if (fstat(in.get(), &info) != 0) RaiseOpenFailure(source);
        if (!S_ISREG(info.st_mode)) {
            RaiseEngine(kUnrecognizedFormat, "Unrecognized database format '" + source + "'.");
        }
        if (flock(in.get(), LOCK_EX | LOCK_NB) != 0) {
            RaiseEngine(kFileInUse, "Could not use '" + source + "'; file already in use.");
        }
        const int flags = fcntl(in.get(), F_GETFL);
        if (flags >= 0) fcntl(in.get(), F_SETFL, flags & ~O_NONBLOCK);
        CheckIsDatabase(in.get(), source, static_cast<std::uint64_t>(info.st_size));

        Descriptor out(
            open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (out.get() < 0) RaiseWriteFailure(destination);
        try {
            Copy(in.get(), out.get(), source, destination);
            if (fchmod(out.get(), info.st_mode & 07777) != 0) RaiseWriteFailure(destination);
            if (fsync(out.get()) != 0) RaiseWriteFailure(destination);
            SyncFolderOf(destination);
        } catch (...) {
            // A half-written copy is nobody's data.
            unlink(destination.c_str());
            throw;
        }
    }
};

}  // namespace

std::unique_ptr<DatabaseEngine> CreatePlatformInstance(Tag<DatabaseEngine>) {
    return std::make_unique<StandInEngine>();
}

}  // namespace Components
