#include "components/jet/Reader.h"

namespace Jet::Detail {

namespace {

constexpr std::uint8_t kIndexNode = 0x03;

}  // namespace

std::vector<IndexEntry> IndexEntries(Bytes page, const Format& f, const Where& where) {
    const bool node = page[0] == kIndexNode;
    const std::size_t tail = node ? 8 : 4;  // the row pointer, and on nodes the child after it
    const std::uint32_t prefixLength = U8(page, f.indexPrefixLengthAt);
    std::vector<std::uint32_t> bounds{static_cast<std::uint32_t>(f.indexFirstEntryAt)};
    for (std::size_t i = f.indexBitmapAt; i < f.indexFirstEntryAt; ++i) {
        for (unsigned bit = 0; page[i] >> bit != 0; ++bit) {
            if (page[i] >> bit & 1) {
                bounds.push_back(static_cast<std::uint32_t>(f.indexFirstEntryAt +
                                                            8 * (i - f.indexBitmapAt) + bit));
            }
        }
    }
    if (bounds.back() > page.size()) throw Damage{where + "its index entries run past the page"};
    std::vector<IndexEntry> entries;
    std::vector<std::uint8_t> full;
    for (std::size_t e = 0; e + 1 < bounds.size(); ++e) {
        const Bytes stored = page.subspan(bounds[e], bounds[e + 1] - bounds[e]);
        full.clear();
        if (e > 0) {
            full.assign(page.begin() + f.indexFirstEntryAt,
                        page.begin() + f.indexFirstEntryAt + prefixLength);
        } else if (prefixLength > stored.size()) {
            throw Damage{where + "its entries' common prefix is longer than its first entry"};
        }
        full.insert(full.end(), stored.begin(), stored.end());
        if (full.size() < tail + 1) {
            throw Damage{where + "its index entry at offset " + std::to_string(bounds[e]) +
                         " is too short to point at a row"};
        }
        const std::size_t p = full.size() - tail;
        IndexEntry entry;
        entry.offset = bounds[e];
        entry.row = {static_cast<std::uint32_t>(full[p] << 16 | full[p + 1] << 8 | full[p + 2]),
                     full[p + 3]};
        if (node) {
            entry.child = static_cast<std::uint32_t>(full[p + 4]) << 24 | full[p + 5] << 16 |
                          full[p + 6] << 8 | full[p + 7];
        }
        entries.push_back(entry);
    }
    return entries;
}

}  // namespace Jet::Detail
