// How much room a folder's disk has left.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <cstdint>
#include <string>

namespace Components {

class DiskSpace {
  public:
    virtual ~DiskSpace() = default;

    // The bytes this process may still write in `folder` (empty: the working folder): the
    // space free to an ordinary user, within any quota the platform applies to the caller.
    // Raises Err::Error when the platform cannot say.
    virtual std::uint64_t FreeBytes(std::string folder) = 0;
};

std::unique_ptr<DiskSpace> CreatePlatformInstance(Tag<DiskSpace>);

}  // namespace Components
