// Drives the header-and-size check with arbitrary bytes. An input is the file's size (its
// first eight bytes, little-endian) followed by the file's first bytes. Besides what the
// sanitizers catch, every verdict must agree with the facts it rests on; a disagreement
// aborts, so the fuzzer keeps the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "components/posix/DatabaseFormat.h"

using namespace Components::Posix;

namespace {

void Require(bool fact, const char* what) {
    if (fact) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

bool SameCheck(const DatabaseCheck& a, const DatabaseCheck& b) {
    return a.verdict == b.verdict && a.pageSize == b.pageSize && a.reason == b.reason;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    std::uint64_t fileSize = 0;
    std::memcpy(&fileSize, data, 8);
    // Small sizes are where the header's own bounds lie; keep most inputs near them.
    if (data[7] < 0x80) fileSize %= 3 * 4096 + 1;
    // An exact-size copy, so that any read past `count` is a heap overflow.
    const std::vector<unsigned char> bytes(data + 8, data + size);
    const std::size_t count = bytes.size();

    const DatabaseCheck check = CheckDatabaseHeader(bytes.data(), count, fileSize);
    const std::size_t seen = count < fileSize ? count : static_cast<std::size_t>(fileSize);

    // Only the bytes that lie inside the file count.
    Require(SameCheck(check, CheckDatabaseHeader(bytes.data(), seen, fileSize)),
            "bytes past the file's size changed the verdict");
    Require((check.verdict == DatabaseVerdict::kDatabase) == check.reason.empty(),
            "a reason must be given exactly when the file is refused");

    if (check.verdict == DatabaseVerdict::kDatabase) {
        Require(seen >= kDatabaseHeaderBytes, "accepted without a whole header");
        Require(bytes[0] == 0, "accepted a file that does not start with 0");
        const bool jet = std::memcmp(&bytes[4], "Standard Jet DB", 16) == 0;
        const bool ace = std::memcmp(&bytes[4], "Standard ACE DB", 16) == 0;
        Require(jet || ace, "accepted without a signature");
        const unsigned version = bytes[0x14];
        Require(jet ? version <= 1 : version >= 2 && version <= 6, "accepted an unknown version");
        Require(check.pageSize == (version == 0 ? 2048u : 4096u), "wrong page size");
        Require(fileSize >= check.pageSize && fileSize % check.pageSize == 0,
                "accepted a size that is not whole pages");
    } else if (check.verdict == DatabaseVerdict::kCorrupt) {
        Require(check.pageSize == 0 ? seen < kDatabaseHeaderBytes
                                    : fileSize < check.pageSize || fileSize % check.pageSize != 0,
                "called corrupt without cause");
    } else {
        Require(check.pageSize == 0, "an unrecognised file has no page size");
    }
    return 0;
}
