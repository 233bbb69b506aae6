// Files as this platform has them: sizes, names, renames that never replace, the log.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <linux/fs.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "components/CurrentError.h"
#include "components/FileSystem.h"
#include "components/FileTools.h"
#include "components/posix/PosixErrors.h"

namespace Posix {

void RaiseFromErrno(const std::string& operation, const std::string& path) {
    const int code = errno;
    Err::Current().LastDllError = code;
    std::int32_t number = Err::kPathFileAccessError;
    switch (code) {
        case ENOENT:
            number = Err::kFileNotFound;
            break;
        case ENOTDIR:
            number = Err::kPathNotFound;
            break;
        case EEXIST:
            number = Err::kFileAlreadyExists;
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            number = Err::kPermissionDenied;
            break;
        case ENOSPC:
        case EDQUOT:
            number = Err::kDiskFull;
            break;
        case EXDEV:
            number = 74;
            break;
        case EIO:
            number = 57;
            break;
        case ENAMETOOLONG:
            number = Err::kBadFileNameOrNumber;
            break;
    }
    Err::Raise(number, operation + " '" + path + "': " + std::strerror(code));
}

}  // namespace Posix

namespace Components {

namespace {

std::size_t NameStart(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

class PosixFileTools : public FileTools {
  public:
    double FileSize(std::string path) override {
        struct stat info {};
        if (path.empty() || stat(path.c_str(), &info) != 0) {
            if (path.empty() || errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG ||
                errno == ELOOP) {
                return -1;
            }
            Posix::RaiseFromErrno("FileSize", path);
        }
        // A folder, a pipe or a device holds no database, whatever its size says.
        if (!S_ISREG(info.st_mode)) return -1;
        return static_cast<double>(info.st_size);
    }

    std::string FolderOf(std::string path, std::int32_t) override {
        return path.substr(0, NameStart(path));
    }

    std::string PathWithoutExtension(std::string path) override {
        const auto start = NameStart(path);
        const auto dot = path.find_last_of('.');
        // A name that only starts with a dot is a hidden file, not an extension.
        if (dot == std::string::npos || dot <= start) return path;
        return path.substr(0, dot);
    }
};

class PosixFileSystem : public FileSystem {
  public:
    void Rename(std::string from, std::string to) override {
        if (syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                    RENAME_NOREPLACE) == 0) {
            return;
        }
        if (errno != EINVAL && errno != ENOSYS)
            Posix::RaiseFromErrno("Rename to '" + to + "'", from);
        // Where the file system cannot rename without replacing, a hard link can: it fails
        // on an existing name, and only then is the old name let go.
        if (link(from.c_str(), to.c_str()) != 0)
            Posix::RaiseFromErrno("Rename to '" + to + "'", from);
        if (unlink(from.c_str()) != 0) {
            const int code = errno;
            unlink(to.c_str());
            errno = code;
            Posix::RaiseFromErrno("Rename to '" + to + "'", from);
        }
    }

    void Kill(std::string path) override {
        if (unlink(path.c_str()) != 0) Posix::RaiseFromErrno("Kill", path);
    }

    std::string LogFolder() override {
        const char* state = std::getenv("XDG_STATE_HOME");
        if (state && *state) return std::string(state) + "/tolvane/";
        const char* home = std::getenv("HOME");
        return std::string(home ? home : "") + "/.local/state/tolvane/";
    }

    void AppendToFile(std::string path, std::string bytes) override {
        MakeFolders(path.substr(0, NameStart(path)));
        const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) Posix::RaiseFromErrno("AppendToFile", path);
        std::size_t written = 0;
        while (written < bytes.size()) {
            const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                const int code = errno;
                close(fd);
                errno = code;
                Posix::RaiseFromErrno("AppendToFile", path);
            }
            written += static_cast<std::size_t>(n);
        }
        close(fd);
    }

  private:
    static void MakeFolders(const std::string& folder) {
        for (std::size_t at = 1; at <= folder.size(); ++at) {
            if (at == folder.size() || folder[at] == '/') mkdir(folder.substr(0, at).c_str(), 0755);
        }
    }
};

}  // namespace

std::unique_ptr<FileTools> CreatePlatformInstance(Tag<FileTools>) {
    return std::make_unique<PosixFileTools>();
}
std::unique_ptr<FileSystem> CreatePlatformInstance(Tag<FileSystem>) {
    return std::make_unique<PosixFileSystem>();
}

}  // namespace Components
