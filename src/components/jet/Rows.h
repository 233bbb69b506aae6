// The columns of a row: where each one's bytes lie, read with every bound checked, either
// column by column from the table's definition or from a layout worked out once per table.
#pragma once

#include <cstdint>
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
// The non-null long-value fields of the row, in column order, with the same checks and the
// same damage as RowFields: a row it doubts is handed to RowFields, which names the fault.
const std::vector<Field>& LongValueFields(Bytes page, const Format& f, const TableDef& t,
                                          const RowLayout& layout, const RowSlot& slot,
                                          const Where& where, RowScratch& scratch);

}  // namespace Jet::Detail
