// The platform's temporary-folder and temporary-name services, with their buffer rules.
// The buffer is the caller's, of a fixed length; a service writes its answer into it from
// the start, NUL-terminated, and leaves the rest as it was.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <cstdint>
#include <string>

namespace Components {

class TempNameServices {
  public:
    virtual ~TempNameServices() = default;

    // Writes the user's temporary folder, ending in the path separator, into `buffer` and
    // returns its length in bytes. When it needs more than `bufferLength` bytes it writes
    // nothing and returns the length needed (terminating NUL included). Returns 0 on
    // failure and leaves the system error code in the current-error record.
    virtual std::uint32_t GetTempPath(std::uint32_t bufferLength, std::string& buffer) = 0;

    // Makes a new name in `folder` (with or without a trailing separator) from at most the
    // first three characters of `prefix` and a unique number, ending in a dot and "TMP" in
    // whatever case the platform writes it; writes its full path into `buffer` and returns a number
    // above 0. With `unique` 0 the service picks the number itself and creates the empty file
    // exclusively, so no existing file is ever reused. Returns 0 on failure, leaving the system
    // error code.
    virtual std::uint32_t GetTempFileName(std::string folder, std::string prefix,
                                          std::uint32_t unique, std::string& buffer) = 0;

    // Bind the services by name at first use: a missing library or function raises
    // Err::Error in the caller.
};

std::unique_ptr<TempNameServices> CreatePlatformInstance(Tag<TempNameServices>);

}  // namespace Components
