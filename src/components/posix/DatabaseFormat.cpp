#include "components/posix/DatabaseFormat.h"

#include <cstring>

namespace Components {

DatabaseVerdict CheckDatabaseHeader(const unsigned char* header, std::size_t headerSize,
                                    std::uint64_t fileSize) {
    if (headerSize < kHeaderBytes || header[0] != 0) return DatabaseVerdict::kUnrecognised;
    const bool jet = std::memcmp(header + 4, "Standard Jet DB", 16) == 0;
    const bool ace = std::memcmp(header + 4, "Standard ACE DB", 16) == 0;
    const unsigned version = header[0x14];
    // The older signature goes with the 1997 and 2000 formats, the newer one with the rest.
    if (!(jet && version <= 1) && !(ace && version >= 2 && version <= 6)) {
        return DatabaseVerdict::kUnrecognised;
    }
    const std::uint64_t pageSize = version == 0 ? 2048 : 4096;
    if (fileSize < pageSize || fileSize % pageSize != 0) return DatabaseVerdict::kCorrupt;
    return DatabaseVerdict::kDatabase;
}

}  // namespace Components
