// What the first bytes and the size of a file say about it being a database of the engine's
// family. A pure function of its arguments, so a fuzzer can drive it.
//
// The facts it checks: byte 0 is 0x00; bytes 4 to 19 are
// "Standard Jet DB" or "Standard ACE DB" and a NUL; byte 0x14 is the format version: 0 the
// 1997 format with pages of 2048 bytes and 1 the 2000/2003 format with pages of 4096 bytes,
// both with the Jet signature; 2 to 6 the later formats, 4096-byte pages, with the ACE
// signature. The file must be a whole number of pages, at least one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Components::Posix {

// The bytes the check reads from the start of the file.
inline constexpr std::size_t kDatabaseHeaderBytes = 0x15;

enum class DatabaseVerdict {
    kDatabase,      // a database of a known format, of a plausible size
    kUnrecognised,  // not a database of this family, or of a format version not known
    kCorrupt,       // a database header, but the file is cut short or not whole pages
};

struct DatabaseCheck {
    DatabaseVerdict verdict;
    std::uint32_t pageSize;  // the format's page size when the header names one, else 0
    std::string reason;      // for a verdict other than kDatabase: why, in a few words
};

// `bytes` holds the first `count` bytes of a file of `fileSize` bytes (it may hold fewer
// than kDatabaseHeaderBytes, or none; bytes past fileSize are not looked at). A file whose
// every byte agrees with a database header but that ends before the header does is
// corrupt (an empty file included); one that disagrees anywhere is unrecognised.
DatabaseCheck CheckDatabaseHeader(const unsigned char* bytes, std::size_t count,
                                  std::uint64_t fileSize);

}  // namespace Components::Posix
