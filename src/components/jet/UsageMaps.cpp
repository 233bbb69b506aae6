#include "components/jet/Reader.h"

namespace Jet::Detail {

namespace {

constexpr std::uint8_t kInlineMap = 0x00;
constexpr std::uint8_t kReferenceMap = 0x01;
constexpr std::uint8_t kMapPage = 0x05;

void ForEachBit(Bytes bitmap, std::uint64_t first, const std::string& where,
                const std::function<void(std::uint32_t)>& visit) {
    for (std::size_t i = 0; i < bitmap.size(); ++i) {
        for (unsigned bit = 0; bitmap[i] >> bit != 0; ++bit) {
            if ((bitmap[i] >> bit & 1) == 0) continue;
            const std::uint64_t page = first + 8 * i + bit;
            if (page > 0xFFFFFFFFu) throw Damage{where + "its map of pages names no page number"};
            visit(static_cast<std::uint32_t>(page));
        }
    }
}

}  // namespace

Bytes MapRow(Pages& pages, RowPointer at, const std::string& where, Pages::Handle& keep) {
    const std::string what = "its map of pages (row " + std::to_string(at.row) + " of page " +
                             std::to_string(at.page) + ")";
    if (at.page == 0 || at.page >= pages.Count()) {
        throw Damage{where + what + " lies outside the file"};
    }
    keep = pages.Get(at.page);
    RowSlot slot;
    if (!IsDataPage(*keep) || !RowAt(*keep, pages.Fmt(), at.row, slot) || slot.deleted) {
        throw Damage{where + what + " does not exist"};
    }
    return Bytes(*keep).subspan(slot.start, slot.end - slot.start);
}

void ForEachMapPage(Pages& pages, Bytes row, const std::string& where,
                    const std::function<void(std::uint32_t)>& visit,
                    const std::function<void(std::uint32_t)>& mapPage) {
    if (row.empty()) throw Damage{where + "its map of pages is empty"};
    if (row[0] == kInlineMap) {
        if (row.size() < 5) throw Damage{where + "its map of pages is cut short"};
        ForEachBit(row.subspan(5), U32(row, 1), where, visit);
        return;
    }
    if (row[0] != kReferenceMap) {
        throw NotChecked{where + "a map of pages of kind " + std::to_string(row[0]) +
                         ", which this reader does not know"};
    }
    const std::uint64_t perPage = (pages.Fmt().pageSize - 4) * 8ull;
    for (std::size_t k = 0; 1 + 4 * k + 4 <= row.size(); ++k) {
        const std::uint32_t at = U32(row, 1 + 4 * k);
        if (at == 0) continue;
        if (at >= pages.Count()) {
            throw Damage{where + "its map of pages continues on page " + std::to_string(at) +
                         ", past the end of the file"};
        }
        mapPage(at);
        const auto page = pages.Get(at);
        if ((*page)[0] != kMapPage) {
            throw Damage{where + "its map of pages continues on page " + std::to_string(at) +
                         ", which is not a map page"};
        }
        ForEachBit(Bytes(*page).subspan(4), k * perPage, where, visit);
    }
}

std::vector<IndexEntry> IndexEntries(Bytes page, const Format& f, const std::string& where) {
    const bool node = page[0] == 0x03;
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
