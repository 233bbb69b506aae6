// The columns of a row: where each one's bytes lie, read with every bound checked, either
// column by column from the table's definition or from a layout worked out once per table.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "components/jet/Reader.h"

namespace Jet::Detail {

// Where a column's bytes lie in a row, as offsets into the page.
struct Field {
    const Column* column = nullptr;
    std::uint32_t start = 0, end = 0;
};
// The non-null fields of the row at [slot.start, slot.end); throws Damage when the row's
// column table or a column leaves the row.
std::vector<Field> RowFields(Bytes page, const Format& f, const TableDef& t, const RowSlot& slot,
                             const Where& where);
// Storage a walk reuses from row to row.
struct RowScratch {
    std::vector<Field> fields;
    std::vector<std::uint32_t> offsets;
    std::vector<Field> longValues;
};
// The same, into `scratch`.
const std::vector<Field>& RowFields(Bytes page, const Format& f, const TableDef& t,
                                    const RowSlot& slot, const Where& where, RowScratch& scratch);

// A table's columns as every row reads them, worked out once per table: booleans, which
// have no bytes, left out.
struct RowLayout {
    struct Slot {
        const Column* column;
        std::uint16_t number, varIndex;
        std::uint32_t fixedStart, fixedEnd;  // from the end of the column count
        bool fixed, longValue;
    };
    std::vector<Slot> columns;
    std::vector<Slot> longValues;  // the long-value columns among them, in column order
    // The end of the last fixed column, from the end of the column count; one more than the
    // highest variable column's index, 0 when there is none.
    std::uint32_t fixedEnd = 0, varEnd = 0;
    bool jet3 = false, varColumns = false;
};
RowLayout LayoutOf(const TableDef& t, const Format& f);
// The little-endian 16 bits at `at`, read in one load where the machine's order is the
// file's.
inline std::uint32_t Le16(const std::uint8_t* at) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint16_t v;
        std::memcpy(&v, at, 2);
        return v;
    } else {
        return std::uint32_t{at[0]} | at[1] << 8;
    }
}

// Where a row's parts lie, as offsets into the page: its start, the end of its column count,
// its null mask and the start of its variable table (or its mask, without one).
struct Frame {
    std::uint32_t rs, fixedBase, rowColumns, maskAt, trailerStart, varOffsets;
};

// What FrameOf and WithinRow hold every row of a table to, taken by value: a loop over rows
// then keeps it in registers rather than reading it again after each store of its own.
struct RowBounds {
    std::uint32_t fixedEnd, varEnd;
    bool jet3, varColumns;
};
inline RowBounds BoundsOf(const RowLayout& layout) {
    return {layout.fixedEnd, layout.varEnd, layout.jet3, layout.varColumns};
}

// The frame of a row that passes RowFields's checks of the row itself; false for one that
// may fail them. Every byte read lies in the row. A row of the first format, whose column
// count is one byte, is left to RowFields; every other counts its columns in two.
inline bool FrameOf(const std::uint8_t* p, std::size_t size, RowBounds b, RowSlot slot, Frame& r) {
    const std::uint32_t rs = slot.start, re = slot.end;
    if (b.jet3 || re > size || re < rs + 2) return false;
    r.rs = rs;
    r.fixedBase = rs + 2;
    r.rowColumns = Le16(p + rs);
    const std::uint32_t maskSize = (r.rowColumns + 7) / 8;
    if (re - rs < 2 + maskSize) return false;
    r.maskAt = r.trailerStart = re - maskSize;
    r.varOffsets = 0;
    if (b.varColumns) {
        if (r.maskAt < r.fixedBase + 2) return false;
        const std::uint32_t count = Le16(p + r.maskAt - 2);
        const std::uint32_t need = 2 * (count + 1) + 2;
        if (r.maskAt < r.fixedBase + need) return false;
        r.varOffsets = count + 1;
        r.trailerStart = r.maskAt - need;
    }
    return true;
}

// Variable offset i, in the variable table FrameOf has bounded when i < r.varOffsets.
inline std::uint32_t Offset(const std::uint8_t* p, const Frame& r, std::uint32_t i) {
    return Le16(p + r.maskAt - 4 - 2 * i);
}
inline bool Present(const std::uint8_t* p, const Frame& r, std::uint32_t number) {
    return number < r.rowColumns && (p[r.maskAt + number / 8] >> (number % 8) & 1);
}

// Whether every column of the table, present or not, lies in the row: the fixed ones end
// by the trailer, and the variable offsets, from the first to the end of the highest
// column, start past the column count, never fall and end by the trailer. Every column
// then passes RowFields's checks, whichever the null mask leaves out.
inline bool WithinRow(const std::uint8_t* p, RowBounds b, const Frame& r) {
    if (b.fixedEnd > r.trailerStart - r.fixedBase) return false;
    if (b.varEnd == 0) return true;
    if (b.varEnd >= r.varOffsets) return false;
    std::uint32_t last = Offset(p, r, 0);
    if (last < r.fixedBase - r.rs) return false;
    for (std::uint32_t i = 1; i <= b.varEnd; ++i) {
        const std::uint32_t next = Offset(p, r, i);
        if (next < last) return false;
        last = next;
    }
    return r.rs + last <= r.trailerStart;
}

// Whether the row lies whole in the page and every column of the table in the row, which
// leaves LongValueFields nothing to doubt: inline, for the walk's loop over rows.
inline bool RowFits(Bytes page, RowBounds b, RowSlot slot) {
    Frame r;
    return FrameOf(page.data(), page.size(), b, slot, r) && WithinRow(page.data(), b, r);
}

// The page's row count, where its row table lies in the page.
inline bool RowCountOf(Bytes page, const Format& f, std::uint32_t& count) {
    if (f.rowCountAt + 2 > page.size()) return false;
    count = Le16(page.data() + f.rowCountAt);
    return f.rowCountAt + 2 + 2 * std::size_t{count} <= page.size();
}

// Whether the walk has nothing to name on a data page of a table without long values: its
// row table is one RowSlots accepts, no row is moved, and every live row fits as RowFits
// says. Where the answer is false, the page is read row by row.
inline bool PageFits(Bytes page, const Format& f, const RowLayout& layout) {
    std::uint32_t count;
    if (!RowCountOf(page, f, count)) return false;
    const std::uint8_t* const table = page.data() + f.rowCountAt + 2;
    const std::size_t tableEnd = f.rowCountAt + 2 + 2 * std::size_t{count};
    const RowBounds b = BoundsOf(layout);
    std::uint32_t end = f.pageSize;
    for (std::uint32_t i = 0; i < count; ++i) {
        const RowSlot slot = SlotOf(Le16(table + 2 * i), end);
        end = slot.start;
        if (slot.deleted) continue;
        if (slot.overflow || slot.start < tableEnd) return false;
        // Which also holds the row inside the page and before the row ahead of it.
        if (!RowFits(page, b, slot)) return false;
    }
    return true;
}

// The non-null long-value fields of the row, in column order, with the same checks and the
// same damage as RowFields: a row it doubts is handed to RowFields, which names the fault.
const std::vector<Field>& LongValueFields(Bytes page, const Format& f, const TableDef& t,
                                          const RowLayout& layout, const RowSlot& slot,
                                          const Where& where, RowScratch& scratch);

}  // namespace Jet::Detail
