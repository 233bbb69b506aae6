#include "components/SystemInfo.h"

#include <sys/utsname.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "components/posix/PosixErrors.h"

namespace Components {

namespace {

// The kernel's release, "6.1.0-18-amd64" and the like, as major, minor and build numbers.
void ParseRelease(const char* release, OsVersionRecord& record) {
    unsigned major = 0, minor = 0, build = 0;
    std::sscanf(release, "%u.%u.%u", &major, &minor, &build);
    record.MajorVersion = major;
    record.MinorVersion = minor;
    record.BuildNumber = build;
}

class UnameSystemInfo final : public SystemInfo {
  public:
    void GetOsVersion(OsVersionRecord& record) override {
        struct utsname names;
        if (::uname(&names) != 0) Posix::RaiseSystemError(errno, "GetOsVersion");
        record.Size = sizeof record;
        ParseRelease(names.release, record);
        // Linux keeps what the log's memory counters need, so it answers as the NT family.
        record.PlatformId = kPlatformNtFamily;
        // The text field says which kernel it is, cut to fit and always NUL-terminated.
        const std::string kernel = std::string(names.sysname) + " " + names.release;
        std::memset(record.ServicePack, 0, sizeof record.ServicePack);
        kernel.copy(record.ServicePack, sizeof record.ServicePack - 1);
    }
};

}  // namespace

std::unique_ptr<SystemInfo> CreatePlatformInstance(Tag<SystemInfo>) {
    return std::make_unique<UnameSystemInfo>();
}

}  // namespace Components
