#include "components/DiskSpace.h"

#include <cerrno>

#include "components/posix/Descriptor.h"
#include "components/posix/PosixErrors.h"
#include "components/posix/SystemCalls.h"

namespace Components {

namespace {

class PosixDiskSpace final : public DiskSpace {
  public:
    std::uint64_t FreeBytes(std::string folder) override {
        if (folder.empty()) folder = ".";
        struct statvfs status {};
        const int result =
            Posix::Retried([&] { return Posix::Sys().Statvfs(folder.c_str(), &status); });
        if (result != 0) Posix::RaiseSystemError(errno, "FreeBytes '" + folder + "'");
        // The blocks an unprivileged user may still have; root's reserve is not counted.
        return static_cast<std::uint64_t>(status.f_bavail) * status.f_frsize;
    }
};

}  // namespace

std::unique_ptr<DiskSpace> CreatePlatformInstance(Tag<DiskSpace>) {
    return std::make_unique<PosixDiskSpace>();
}

}  // namespace Components
