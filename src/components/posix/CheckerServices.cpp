#include "components/CheckerServices.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "components/CurrentError.h"
#include "components/posix/Descriptor.h"
#include "components/posix/DescriptorPages.h"
#include "components/posix/PosixErrors.h"
#include "components/posix/SpareThread.h"

namespace Components {

namespace {

using namespace Posix;

// Owns the descriptor the pages are read from.
class FilePages final : public Jet::PageSource {
  public:
    FilePages(int fd, std::uint64_t size) : fd_(fd), pages_(fd, size) {}
    ~FilePages() override { Sys().Close(fd_); }
    FilePages(const FilePages&) = delete;
    FilePages& operator=(const FilePages&) = delete;
    std::uint64_t Size() const override { return pages_.Size(); }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        return pages_.Read(offset, out);
    }

  private:
    int fd_;
    DescriptorPages pages_;
};

class PosixCheckerServices final : public CheckerServices {
  public:
    std::vector<std::string> Arguments(int argc, char** argv) override {
        return {argv + (argc > 0 ? 1 : 0), argv + argc};
    }

    std::unique_ptr<Jet::PageSource> Open(const std::string& path) override {
        // Non-blocking, so that a FIFO is refused rather than waited on.
        const int fd = OpenRetried(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) RaiseSystemError(errno, "Cannot open '" + path + "'");
        struct stat status;
        if (Sys().Fstat(fd, &status) != 0) {
            const int error = errno;
            Sys().Close(fd);
            RaiseSystemError(error, "Cannot open '" + path + "'");
        }
        if (!S_ISREG(status.st_mode)) {
            Sys().Close(fd);
            Err::Raise(75, "Cannot open '" + path + "': it is not a regular file.");
        }
        return std::make_unique<FilePages>(fd, static_cast<std::uint64_t>(status.st_size));
    }

    std::unique_ptr<Jet::SecondThread> Beside() override { return std::make_unique<SpareThread>(); }
};

}  // namespace

std::unique_ptr<CheckerServices> CreatePlatformInstance(Tag<CheckerServices>) {
    return std::make_unique<PosixCheckerServices>();
}

}  // namespace Components
