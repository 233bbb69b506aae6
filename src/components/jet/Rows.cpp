#include <algorithm>
#include <bit>
#include <cstring>

#include "components/jet/Rows.h"

namespace Jet::Detail {

namespace {

constexpr std::uint8_t kBoolean = 0x01;  // its value is its bit in the null mask

// The row whose columns leave its bounds.
[[noreturn]] void Fail(const Where& where, std::uint32_t rs) {
    throw Damage{where + "the columns of the row at offset " + std::to_string(rs) +
                 " leave its bounds"};
}

// Reads the offsets of the variable columns (and, last, of the end of their data), relative
// to the row's start, into `offsets`; gives where the row's trailer begins. Jet4's offsets
// are read where they lie, as they are needed: `offsets` then holds only their count.
std::uint32_t ReadVarTable(Bytes page, const Format& f, std::uint32_t rs, std::uint32_t re,
                           std::uint32_t maskAt, const Where& where,
                           std::vector<std::uint32_t>& offsets) {
    offsets.clear();
    const std::uint32_t low = rs + static_cast<std::uint32_t>(f.columnCountSize);
    if (!f.jet3) {
        if (maskAt < low + 2) Fail(where, rs);
        const std::uint32_t count = U16(page, maskAt - 2);
        const std::uint64_t need = 2ull * (count + 1) + 2;
        if (maskAt < low + need) Fail(where, rs);
        offsets.push_back(count + 1);
        return static_cast<std::uint32_t>(maskAt - need);
    }
    // One byte per offset; a jump table holds, for each further 256 bytes of row, the
    // first entry that lies past them. It has a slot per 256 bytes of row, the last one
    // possibly a filler.
    if (maskAt < low + 1) Fail(where, rs);
    const std::uint32_t count = U8(page, maskAt - 1);
    const std::uint32_t jumps = (re - rs - 1) / 256;
    const std::uint64_t need = 1ull + jumps + count + 1;
    if (maskAt < low + need) Fail(where, rs);
    std::uint32_t used = 0;
    for (std::uint32_t i = 0; i <= count; ++i) {
        while (used < jumps && U8(page, maskAt - 2 - used) <= i) ++used;
        offsets.push_back(U8(page, maskAt - 2 - jumps - i) + 256 * used);
    }
    return static_cast<std::uint32_t>(maskAt - need);
}

}  // namespace

std::vector<Field> RowFields(Bytes page, const Format& f, const TableDef& t, const RowSlot& slot,
                             const Where& where) {
    RowScratch scratch;
    RowFields(page, f, t, slot, where, scratch);
    return std::move(scratch.fields);
}

const std::vector<Field>& RowFields(Bytes page, const Format& f, const TableDef& t,
                                    const RowSlot& slot, const Where& where, RowScratch& scratch) {
    const std::uint32_t rs = slot.start, re = slot.end;
    const std::uint32_t cs = static_cast<std::uint32_t>(f.columnCountSize);
    if (re > page.size() || re < rs + cs) Fail(where, rs);
    const std::uint32_t rowColumns = cs == 2 ? U16(page, rs) : U8(page, rs);
    const std::uint32_t maskSize = (rowColumns + 7) / 8;
    if (re - rs < cs + maskSize) Fail(where, rs);
    const std::uint32_t maskAt = re - maskSize;
    const auto present = [&](const Column& c) {
        return c.number < rowColumns && (U8(page, maskAt + c.number / 8) >> (c.number % 8) & 1);
    };
    std::vector<std::uint32_t>& offsets = scratch.offsets;
    offsets.clear();
    std::uint32_t trailerStart = maskAt;
    if (t.varColumns > 0) trailerStart = ReadVarTable(page, f, rs, re, maskAt, where, offsets);
    const std::size_t varOffsets = f.jet3 || offsets.empty() ? offsets.size() : offsets[0];
    const auto offset = [&](std::uint32_t i) {
        return f.jet3 ? offsets[i] : U16(page, maskAt - 4 - 2 * i);
    };
    std::vector<Field>& fields = scratch.fields;
    fields.clear();
    for (const Column& c : t.columns) {
        if (!present(c) || c.type == kBoolean) continue;
        Field field{&c, 0, 0};
        if (c.Fixed()) {
            field.start = rs + cs + c.fixedOffset;
            field.end = field.start + c.length;
        } else {
            if (c.varIndex + 1u >= varOffsets) continue;
            field.start = rs + offset(c.varIndex);
            field.end = rs + offset(c.varIndex + 1u);
        }
        if (field.start < rs + cs || field.end < field.start || field.end > trailerStart) {
            throw Damage{where + "column " + c.name + " of the row at offset " +
                         std::to_string(rs) + " leaves its row"};
        }
        fields.push_back(field);
    }
    return fields;
}

RowLayout LayoutOf(const TableDef& t, const Format& f) {
    RowLayout layout;
    layout.jet3 = f.jet3;
    layout.varColumns = t.varColumns > 0;
    for (const Column& c : t.columns) {
        if (c.type == kBoolean) continue;
        layout.columns.push_back({&c, c.number, c.varIndex, c.fixedOffset,
                                  std::uint32_t{c.fixedOffset} + c.length, c.Fixed(),
                                  c.LongValue()});
        const RowLayout::Slot& slot = layout.columns.back();
        if (slot.longValue) layout.longValues.push_back(slot);
        if (slot.fixed) layout.fixedEnd = std::max(layout.fixedEnd, slot.fixedEnd);
        if (!slot.fixed) layout.varEnd = std::max(layout.varEnd, slot.varIndex + 1u);
    }
    return layout;
}

namespace {

// The row's long values into `out`, column by column with RowFields's checks; false for a
// row that fails one.
bool ReadEach(const std::uint8_t* p, const RowLayout& layout, const Frame& r,
              std::vector<Field>& out) {
    for (const RowLayout::Slot& c : layout.columns) {
        if (!Present(p, r, c.number)) continue;
        std::uint32_t start, end;
        if (c.fixed) {
            start = r.fixedBase + c.fixedStart;
            end = r.fixedBase + c.fixedEnd;
        } else {
            if (c.varIndex + 1u >= r.varOffsets) continue;
            start = r.rs + Offset(p, r, c.varIndex);
            end = r.rs + Offset(p, r, c.varIndex + 1u);
        }
        if (start < r.fixedBase || end < start || end > r.trailerStart) return false;
        if (c.longValue) out.push_back({c.column, start, end});
    }
    return true;
}

// A row the quick reading doubts: RowFields names its fault, or reads it.
const std::vector<Field>& Doubted(Bytes page, const Format& f, const TableDef& t,
                                  const RowSlot& slot, const Where& where, RowScratch& scratch) {
    std::vector<Field>& out = scratch.longValues;
    out.clear();
    for (const Field& field : RowFields(page, f, t, slot, where, scratch)) {
        if (field.column->LongValue()) out.push_back(field);
    }
    return out;
}

}  // namespace

const std::vector<Field>& LongValueFields(Bytes page, const Format& f, const TableDef& t,
                                          const RowLayout& layout, const RowSlot& slot,
                                          const Where& where, RowScratch& scratch) {
    std::vector<Field>& out = scratch.longValues;
    out.clear();
    const std::uint8_t* p = page.data();
    Frame r;
    const RowBounds b = BoundsOf(layout);
    if (!FrameOf(p, page.size(), b, slot, r)) [[unlikely]] {
        return Doubted(page, f, t, slot, where, scratch);
    }
    if (WithinRow(p, b, r)) [[likely]] {
        for (const RowLayout::Slot& c : layout.longValues) {
            if (!Present(p, r, c.number)) continue;
            if (c.fixed) {
                out.push_back({c.column, r.fixedBase + c.fixedStart, r.fixedBase + c.fixedEnd});
            } else {
                out.push_back({c.column, r.rs + Offset(p, r, c.varIndex),
                               r.rs + Offset(p, r, c.varIndex + 1u)});
            }
        }
        return out;
    }
    if (ReadEach(p, layout, r, out)) return out;
    return Doubted(page, f, t, slot, where, scratch);
}

Bytes FollowMoved(Pages& pages, const TableDef& t, Bytes page, RowPointer& cur, RowSlot& at,
                  Pages::Handle& hold, const Where& where) {
    const Format& f_ = pages.Fmt();
    ChainWalk walk(cur);
    while (at.overflow) {
        if (at.end - at.start < 4) throw Damage{where + "its moved row's address is cut short"};
        const RowPointer next = RowPointerAt(page, at.start);
        if (next.page >= pages.Count()) {
            throw Damage{where + "the row moved to page " + std::to_string(next.page) +
                         ", past the end of the file"};
        }
        hold = pages.Get(next.page);
        page = *hold;
        if (!IsDataPage(page) || U32(page, 4) != t.page || !RowAt(page, f_, next.row, at)) {
            throw Damage{where + "the row moved to row " + std::to_string(next.row) + " of page " +
                         std::to_string(next.page) + ", which is no row of that table"};
        }
        if (walk.ReturnsTo(next)) throw Damage{where + "its moved row leads round in a loop"};
        cur = next;
    }
    return page;
}

LongValue LongValueAt(Bytes b, std::size_t at) {
    const std::uint32_t word = U32(b, at);
    return {word & 0x3FFFFFFF, static_cast<std::uint8_t>(word >> 24 & 0xC0),
            RowPointerAt(b, at + 4)};
}

}  // namespace Jet::Detail
