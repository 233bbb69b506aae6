#include "components/DatabaseHold.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <optional>

#include "components/posix/DatabaseLock.h"
#include "components/posix/PosixErrors.h"
#include "components/posix/SystemCalls.h"

namespace Components {

namespace {

using Posix::Sys;

// The engine stand-in's own lock, taken again: another copy of this program, or anything
// that locks as the engine does, cannot take the database meanwhile.
class PosixDatabaseHold final : public DatabaseHold {
  public:
    FileState State(std::string path) override {
        struct stat status;
        if (Sys().Stat(path.c_str(), &status) != 0) {
            Posix::RaiseSystemError(errno, "FileState '" + path + "'");
        }
        return {
            std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino),
            static_cast<std::uint64_t>(status.st_size),
            static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec,
            static_cast<std::uint32_t>(status.st_nlink)};
    }

    void Hold(std::string path) override {
        if (fd_ >= 0 && path == path_) return;
        Release();
        const int fd = Sys().Open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0);
        if (fd < 0) Posix::RaiseSystemError(errno, "Hold '" + path + "'");
        fd_ = fd;
        path_ = path;
        try {
            lock_.emplace(path, fd_);
        } catch (...) {
            Release();
            throw;
        }
    }

    void Release() override {
        lock_.reset();
        if (fd_ >= 0) Sys().Close(fd_);
        fd_ = -1;
        path_.clear();
    }

    ~PosixDatabaseHold() override { Release(); }

  private:
    int fd_ = -1;
    std::string path_;
    std::optional<Posix::DatabaseLock> lock_;
};

}  // namespace

std::unique_ptr<DatabaseHold> CreatePlatformInstance(Tag<DatabaseHold>) {
    return std::make_unique<PosixDatabaseHold>();
}

}  // namespace Components
