#include "components/jet/HeaderPassword.h"

#include <array>
#include <cstring>
#include <vector>

#include "components/jet/Reader.h"

namespace Jet {

namespace {

using namespace Detail;

constexpr std::size_t kScrambledStart = 0x18, kPasswordAt = 0x42, kCreatedAt = 0x72;
constexpr std::uint32_t kHeaderKey = 0x6B39DAC7;

}  // namespace

HeaderSecret ReadHeaderSecret(const PageSource& source) {
    HeaderSecret secret;
    std::array<std::uint8_t, 0x98> b{};
    if (source.Size() < b.size() || !source.Read(0, b)) return secret;
    const bool jet = std::memcmp(b.data() + 4, "Standard Jet DB", 15) == 0;
    const bool ace = std::memcmp(b.data() + 4, "Standard ACE DB", 15) == 0;
    const unsigned version = b[0x14];
    if (b[0] != 0 || b[1] != 1 || !(jet ? version <= 1 : ace && version >= 2 && version <= 6)) {
        return secret;
    }
    const bool jet3 = version == 0;
    Rc4(kHeaderKey, std::span(b).subspan(kScrambledStart, jet3 ? 126 : 128));
    secret.Database = true;
    if (ace && U32(b, 0x3E) != 0) {
        secret.Encrypted = true;
        return secret;
    }
    std::vector<std::uint8_t> area(b.begin() + kPasswordAt,
                                   b.begin() + kPasswordAt + (jet3 ? 20 : 40));
    if (!jet3) {
        // The engine masks the password with the whole part of the creation date.
        double created = 0;
        std::memcpy(&created, b.data() + kCreatedAt, sizeof created);
        const auto mask = static_cast<std::uint32_t>(
            created > -2147483648.0 && created < 2147483648.0 ? static_cast<std::int32_t>(created)
                                                              : 0);
        for (std::size_t i = 0; i < area.size(); ++i)
            area[i] ^= static_cast<std::uint8_t>(mask >> 8 * (i % 4));
    }
    std::size_t length = 0;
    const std::size_t unit = jet3 ? 1 : 2;
    while (length + unit <= area.size() &&
           (area[length] != 0 || (unit == 2 && area[length + 1] != 0)))
        length += unit;
    area.resize(length);
    Format format = Format::ForVersion(version);
    secret.Password = DecodeText(area, format);
    return secret;
}

std::optional<std::string> SecretLost(const HeaderSecret& source, const HeaderSecret& copy,
                                      const std::string& copyName) {
    const std::string removed = "; it has been removed, and the database has not been changed";
    if (source.Encrypted && !copy.Encrypted) {
        return "The compacted copy '" + copyName + "' is no longer encrypted as the database is" +
               removed;
    }
    if (!source.Encrypted && source.Password != copy.Password) {
        return "The compacted copy '" + copyName + "' does not carry the database's password" +
               removed;
    }
    return std::nullopt;
}

}  // namespace Jet
