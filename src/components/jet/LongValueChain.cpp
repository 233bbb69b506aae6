#include "components/jet/LongValueChain.h"

namespace Jet::Detail {

namespace {
constexpr std::uint8_t kInlineValue = 0x80, kOneRowValue = 0x40, kChainedValue = 0x00;
}  // namespace

void CheckLongValue(Pages& pages, const Format& f, PageAccount& account, Bytes value,
                    const Where& where) {
    if (value.size() < 12) return;  // too short to lead anywhere; readers take it as empty
    const LongValue lv = LongValueAt(value, 0);
    if (lv.kind == kInlineValue) {
        if (lv.length > value.size() - 12) throw Damage{where + " is longer than its row holds"};
        return;
    }
    if (lv.kind != kOneRowValue && lv.kind != kChainedValue) {
        throw NotChecked{where + " is stored in a way this reader does not know"};
    }
    RowPointer cur = lv.first;
    ChainWalk walk(cur);
    std::uint64_t collected = 0;
    for (;;) {
        account.Refer(where, cur.page);
        const auto page = pages.Get(cur.page);
        RowSlot slot;
        if (!IsLongValuePage(*page) || !RowAt(*page, f, cur.row, slot) || slot.deleted) {
            throw Damage{where + " leads to row " + std::to_string(cur.row) + " of page " +
                         std::to_string(cur.page) + ", which does not exist"};
        }
        if (lv.kind == kOneRowValue) return;
        if (slot.end - slot.start < 4) throw Damage{where + " has a chunk too short for its link"};
        collected += slot.end - slot.start - 4;
        const RowPointer next = RowPointerAt(*page, slot.start);
        if (next.page == 0 || collected >= lv.length) return;
        if (walk.ReturnsTo(next)) throw Damage{where + " leads round in a loop"};
        cur = next;
    }
}

}  // namespace Jet::Detail
