// Whether a file is a database of the family the engine compacts, judged by its first page
// header and its length alone.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Components {

enum class DatabaseVerdict {
    kDatabase,
    kUnrecognised,  // no signature, or a format version the engine does not know
    kCorrupt,       // the signature is there but the length cannot be whole pages
};

// How many bytes of the file the check reads.
inline constexpr std::size_t kHeaderBytes = 0x15;

// `header` holds the first `headerSize` bytes of a file `fileSize` bytes long.
DatabaseVerdict CheckDatabaseHeader(const unsigned char* header, std::size_t headerSize,
                                    std::uint64_t fileSize);

}  // namespace Components
