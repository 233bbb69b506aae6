// Which family the operating system belongs to, in the platform's version-record layout.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <cstddef>
#include <cstdint>

namespace Components {

// The platform's OSVERSIONINFO record, byte for byte.
struct OsVersionRecord {
    std::uint32_t Size;
    std::uint32_t MajorVersion;
    std::uint32_t MinorVersion;
    std::uint32_t BuildNumber;
    std::uint32_t PlatformId;
    char ServicePack[128];
};
static_assert(sizeof(OsVersionRecord) == 148);
static_assert(offsetof(OsVersionRecord, PlatformId) == 16);

inline constexpr std::uint32_t kPlatformNtFamily = 2;

class SystemInfo {
  public:
    virtual ~SystemInfo() = default;

    // Fills the record the caller handed over zeroed; PlatformId 2 marks the NT family,
    // the family whose memory counters the log can show. Raises Err::Error on failure.
    virtual void GetOsVersion(OsVersionRecord& record) = 0;
};

std::unique_ptr<SystemInfo> CreatePlatformInstance(Tag<SystemInfo>);

}  // namespace Components
