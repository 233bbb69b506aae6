#include "components/DiskSpace.h"

#include "components/windows/Win32.h"

#include "components/windows/WinErrors.h"
#include "components/windows/WinPaths.h"

namespace Components {

namespace {

class Win32DiskSpace final : public DiskSpace {
  public:
    std::uint64_t FreeBytes(std::string folder) override {
        const std::wstring wide = Win::FilePath(folder);
        ULARGE_INTEGER available{}, total{}, free{};
        // The space free to this caller: a quota on the share counts.
        if (!GetDiskFreeSpaceExW(folder.empty() ? nullptr : wide.c_str(), &available, &total,
                                 &free)) {
            Win::RaiseLastError("FreeBytes '" + folder + "'");
        }
        return available.QuadPart;
    }
};

}  // namespace

std::unique_ptr<DiskSpace> CreatePlatformInstance(Tag<DiskSpace>) {
    return std::make_unique<Win32DiskSpace>();
}

}  // namespace Components
