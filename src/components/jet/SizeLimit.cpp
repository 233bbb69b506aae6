#include "components/jet/SizeLimit.h"

#include <array>
#include <cstring>

namespace Jet {

namespace {

constexpr std::size_t kVersionAt = 0x14;

}  // namespace

std::uint64_t SizeLimit(const PageSource& file) {
    // Only the signature and the version byte: a database whose pages the reader cannot
    // check, or whose header is scrambled further on, still has a format and its limit.
    std::array<std::uint8_t, kVersionAt + 1> b{};
    if (file.Size() < b.size() || !file.Read(0, b)) return 0;
    static constexpr std::uint8_t kStart[4] = {0x00, 0x01, 0x00, 0x00};
    const bool jet = std::memcmp(b.data() + 4, "Standard Jet DB", 15) == 0;
    const bool ace = std::memcmp(b.data() + 4, "Standard ACE DB", 15) == 0;
    if (std::memcmp(b.data(), kStart, 4) != 0) return 0;
    const unsigned version = b[kVersionAt];
    if (jet && version == 0) return std::uint64_t{1} << 30;
    if ((jet && version == 1) || (ace && version >= 2)) return std::uint64_t{1} << 31;
    return 0;
}

std::optional<std::string> NearLimitWarning(const std::string& path, const PageSource& file) {
    const std::uint64_t limit = SizeLimit(file), size = file.Size();
    if (limit == 0 || size * 10 < limit * 9) return std::nullopt;
    const bool old = limit == std::uint64_t{1} << 30;
    return "'" + path + "' is near the size limit of its format: " + std::to_string(size) +
           " bytes, " + std::to_string(size * 100 / limit) + " % of the " + std::to_string(limit) +
           " bytes (" + (old ? "1" : "2") + " GB) that a database of the " +
           (old ? "1997 format" : "2000 format or later") +
           " can hold; at the limit it takes no more data";
}

}  // namespace Jet
