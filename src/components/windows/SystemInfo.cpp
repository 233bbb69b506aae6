#include "components/SystemInfo.h"

#include "components/windows/Win32.h"

#include <cstring>

#include "components/windows/LoadedLibrary.h"
#include "components/windows/WinErrors.h"

namespace Components {

namespace {

static_assert(sizeof(OSVERSIONINFOA) == sizeof(OsVersionRecord));

class Win32SystemInfo final : public SystemInfo {
  public:
    void GetOsVersion(OsVersionRecord& record) override {
        using GetVersionExAFn = BOOL(WINAPI*)(OSVERSIONINFOA*);
        static const auto getVersionEx =
            Win::Library("kernel32.dll").Bind<GetVersionExAFn>("GetVersionExA");
        OSVERSIONINFOA info;
        std::memcpy(&info, &record, sizeof info);
        info.dwOSVersionInfoSize = sizeof info;
        if (!getVersionEx(&info)) Win::RaiseLastError("GetOsVersion");
        std::memcpy(&record, &info, sizeof record);
    }
};

}  // namespace

std::unique_ptr<SystemInfo> CreatePlatformInstance(Tag<SystemInfo>) {
    return std::make_unique<Win32SystemInfo>();
}

}  // namespace Components
