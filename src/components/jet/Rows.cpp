#include <algorithm>

#include "components/jet/Reader.h"

namespace Jet::Detail {

namespace {

constexpr std::uint8_t kBoolean = 0x01;  // its value is its bit in the null mask

// The offsets of the variable columns (and, last, of the end of their data), relative to
// the row's start, and where the row's trailer begins.
struct VarTable {
    std::vector<std::uint32_t> offsets;
    std::uint32_t trailerStart = 0;
};

VarTable ReadVarTable(Bytes page, const Format& f, std::uint32_t rs, std::uint32_t re,
                      std::uint32_t maskAt, const std::string& fail) {
    VarTable v;
    const std::uint32_t low = rs + static_cast<std::uint32_t>(f.columnCountSize);
    if (!f.jet3) {
        if (maskAt < low + 2) throw Damage{fail};
        const std::uint32_t count = U16(page, maskAt - 2);
        const std::uint64_t need = 2ull * (count + 1) + 2;
        if (maskAt < low + need) throw Damage{fail};
        v.trailerStart = static_cast<std::uint32_t>(maskAt - need);
        for (std::uint32_t i = 0; i <= count; ++i)
            v.offsets.push_back(U16(page, maskAt - 4 - 2 * i));
        return v;
    }
    // One byte per offset; a jump table holds, for each further 256 bytes of row, the
    // first entry that lies past them. It has a slot per 256 bytes of row, the last one
    // possibly a filler.
    if (maskAt < low + 1) throw Damage{fail};
    const std::uint32_t count = U8(page, maskAt - 1);
    const std::uint32_t jumps = (re - rs - 1) / 256;
    const std::uint64_t need = 1ull + jumps + count + 1;
    if (maskAt < low + need) throw Damage{fail};
    v.trailerStart = static_cast<std::uint32_t>(maskAt - need);
    std::uint32_t used = 0;
    for (std::uint32_t i = 0; i <= count; ++i) {
        while (used < jumps && U8(page, maskAt - 2 - used) <= i) ++used;
        v.offsets.push_back(U8(page, maskAt - 2 - jumps - i) + 256 * used);
    }
    return v;
}

}  // namespace

std::vector<Field> RowFields(Bytes page, const Format& f, const TableDef& t, const RowSlot& slot,
                             const std::string& where) {
    const std::uint32_t rs = slot.start, re = slot.end;
    const std::string fail =
        where + "the columns of the row at offset " + std::to_string(rs) + " leave its bounds";
    const std::uint32_t cs = static_cast<std::uint32_t>(f.columnCountSize);
    if (re > page.size() || re < rs + cs) throw Damage{fail};
    const std::uint32_t rowColumns = cs == 2 ? U16(page, rs) : U8(page, rs);
    const std::uint32_t maskSize = (rowColumns + 7) / 8;
    if (re - rs < cs + maskSize) throw Damage{fail};
    const std::uint32_t maskAt = re - maskSize;
    const auto present = [&](const Column& c) {
        return c.number < rowColumns && (U8(page, maskAt + c.number / 8) >> (c.number % 8) & 1);
    };
    VarTable v;
    v.trailerStart = maskAt;
    if (t.varColumns > 0) v = ReadVarTable(page, f, rs, re, maskAt, fail);
    std::vector<Field> fields;
    for (const Column& c : t.columns) {
        if (!present(c) || c.type == kBoolean) continue;
        Field field{&c, 0, 0};
        if (c.Fixed()) {
            field.start = rs + cs + c.fixedOffset;
            field.end = field.start + c.length;
        } else {
            if (c.varIndex + 1u >= v.offsets.size()) continue;
            field.start = rs + v.offsets[c.varIndex];
            field.end = rs + v.offsets[c.varIndex + 1];
        }
        if (field.start < rs + cs || field.end < field.start || field.end > v.trailerStart) {
            throw Damage{where + "column " + c.name + " of the row at offset " +
                         std::to_string(rs) + " leaves its row"};
        }
        fields.push_back(field);
    }
    return fields;
}

Bytes FollowMoved(Pages& pages, const TableDef& t, Bytes page, RowPointer& cur, RowSlot& at,
                  Pages::Handle& hold, const std::string& where) {
    const Format& f_ = pages.Fmt();
    RowPointer tortoise = cur;
    std::uint64_t power = 1, lambda = 0;
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
        if (lambda == power) {
            tortoise = cur;
            power *= 2;
            lambda = 0;
        }
        cur = next;
        ++lambda;
        if (cur == tortoise) throw Damage{where + "its moved row leads round in a loop"};
    }
    return page;
}

LongValue LongValueAt(Bytes b, std::size_t at) {
    const std::uint32_t word = U32(b, at);
    return {word & 0x3FFFFFFF, static_cast<std::uint8_t>(word >> 24 & 0xC0),
            RowPointerAt(b, at + 4)};
}

}  // namespace Jet::Detail
