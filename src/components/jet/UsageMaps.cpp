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
        if (!NamesMapPage(at)) continue;
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

}  // namespace Jet::Detail
