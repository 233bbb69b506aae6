// Text as the format stores it, turned into UTF-8, the program's own form of text.
#include <string>
#include <vector>

#include "components/jet/Reader.h"

namespace Jet::Detail {

namespace {

// Windows-1252's characters 0x80-0x9F; the rest of the upper half is Latin-1.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string DecodeText(Bytes b, const Format& f) {
    std::string out;
    if (f.jet3) {
        for (std::uint8_t c : b) AppendUtf8(out, c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c);
        return out;
    }
    std::vector<std::uint16_t> units;
    if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        // Compressed: single bytes stand for characters below 0x100 until a 0 switches mode.
        bool compressed = true;
        for (std::size_t i = 2; i < b.size();) {
            if (b[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                units.push_back(b[i++]);
            } else if (i + 1 < b.size()) {
                units.push_back(static_cast<std::uint16_t>(U16(b, i)));
                i += 2;
            } else {
                break;
            }
        }
    } else {
        for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
            units.push_back(static_cast<std::uint16_t>(U16(b, i)));
        }
    }
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

}  // namespace Jet::Detail
