// The quick readings against the plain ones: a row's long values against the column reader,
// on one row made sound and then broken in each way a column can leave it, and a page's rows
// taken whole against its row table read row by row.
#include <gtest/gtest.h>

#include <algorithm>

#include "components/jet/LiveRows.h"
#include "components/jet/Rows.h"

namespace {

using namespace Jet::Detail;

// What the reader makes of the row: its long values' places, or the damage it names.
template <typename Read>
std::string Outcome(Read read) {
    try {
        std::string out;
        for (const Field& f : read())
            out += std::to_string(f.start) + "-" + std::to_string(f.end) + " ";
        return out;
    } catch (const Damage& d) {
        return d.what;
    }
}

TEST(JetRows, TheQuickReadingFindsWhatTheColumnReaderFinds) {
    // A fixed column, two text columns and a memo; the row at 8, 33 bytes: its column count,
    // the fixed 4 bytes, the variable data, then offsets 22, 10, 8, 6 last to first, their
    // count 3 and the null mask.
    const std::vector<std::uint8_t> row{4,  0, 1,  2, 3, 4, 'a', 'b', 'c', 'd', 1,
                                        2,  3, 4,  5, 6, 7, 8,   9,   10,  11,  12,
                                        22, 0, 10, 0, 8, 0, 6,   0,   3,   0,   0x0F};
    struct Case {
        const char* what;
        std::size_t at;  // in the row; past it, none
        std::uint8_t value;
        std::uint16_t fixedLength;
        const char* expected;
    } cases[] = {
        {"sound", 99, 0, 4, "18-30 "},
        {"fixed column past the variable table", 99, 0, 24, "leaves its row"},
        {"first variable column inside the column count", 28, 1, 4, "leaves its row"},
        {"variable columns out of order", 24, 7, 4, "leaves its row"},
        {"last variable column past the variable table", 22, 23, 4, "leaves its row"},
        {"fewer offsets than columns", 30, 1, 4, ""},
        {"a bad offset of a null column", 32, 0x01, 4, ""},
    };
    for (const Case& c : cases) {
        TableDef t;
        t.name = "T", t.varColumns = 3;
        t.columns = {{0x04, 0x01, 0, 0, 0, c.fixedLength, "F"},
                     {0x0A, 0, 1, 0, 0, 10, "A"},
                     {0x0A, 0, 2, 1, 0, 10, "B"},
                     {0x0C, 0, 3, 2, 0, 0, "M"}};
        std::vector<std::uint8_t> page(8 + row.size());
        std::copy(row.begin(), row.end(), page.begin() + 8);
        if (c.at < row.size()) page[8 + c.at] = c.value;
        if (c.at == 32) page[8 + 28] = 1;  // column A is null, its offset no place in the row
        const Format f;
        const RowSlot slot{8, 8 + static_cast<std::uint32_t>(row.size())};
        RowScratch scratch;
        const std::string quick = Outcome([&] {
            return LongValueFields(page, f, t, LayoutOf(t, f), slot, Where(t.name, 1), scratch);
        });
        const std::string plain = Outcome([&] {
            std::vector<Field> out;
            for (const Field& x : RowFields(page, f, t, slot, Where(t.name, 1)))
                if (x.column->LongValue()) out.push_back(x);
            return out;
        });
        EXPECT_EQ(quick, plain) << c.what;
        EXPECT_NE(quick.find(c.expected), std::string::npos) << c.what << ": " << quick;
    }
}

// A page of three rows of one fixed column, as the walk takes it: whole, with the rows it
// names live, only where the row table read row by row finds no damage, no moved row and no
// row that may not fit.
TEST(JetRows, APageIsTakenWholeOnlyWhereEachRowWouldBe) {
    struct Case {
        const char* what;
        std::size_t row;
        std::uint16_t entry;  // the row's new entry in the row table
        const char* expected;
    } cases[] = {
        {"sound", 0, 4089, "0 1 2 "},
        {"a deleted row", 1, 0x8000 | 4082, "0 2 "},
        {"a moved row", 1, 0x4000 | 4082, "by row"},
        {"a row starting in the row table, on its count", 2, 12, "by row"},
        {"a row cut short by a deleted row after it", 1, 0x8000 | 4076, "by row"},
    };
    TableDef t;
    t.name = "T";
    t.columns = {{0x04, 0x01, 0, 0, 0, 4, "F"}};
    const Format f;
    const RowLayout layout = LayoutOf(t, f);
    for (const Case& c : cases) {
        // Each row: its column count, 1, the 4 bytes of F, and the null mask.
        std::vector<std::uint8_t> page(f.pageSize);
        page[12] = 3;
        for (std::uint32_t r = 0; r < 3; ++r) {
            const std::uint32_t start = f.pageSize - 7 * (r + 1);
            page[start] = 1, page[start + 6] = 1;
            const std::uint16_t entry = r == c.row ? c.entry : start;
            page[14 + 2 * r] = entry & 0xFF, page[15 + 2 * r] = entry >> 8;
        }
        std::string whole;
        const bool taken = PageFits(page, f, layout);
        if (taken) {
            std::uint64_t record[LiveRows::Words(3)];
            const std::uint32_t count = LiveRows::Start(record, page, f);
            LiveRows live(2);
            live.Copy(1, record);
            for (std::uint32_t r = 0; r < 4; ++r)
                if (live.IsLive({1, r})) whole += std::to_string(r) + " ";
            EXPECT_EQ(std::count(whole.begin(), whole.end(), ' '), count) << c.what;
        }
        std::string byRow;
        try {
            std::vector<RowSlot> slots;
            RowSlots(page, f, Where(t.name, 1), slots);
            for (std::size_t r = 0; r < slots.size(); ++r) {
                if (slots[r].deleted) continue;
                if (slots[r].overflow || !RowFits(page, BoundsOf(layout), slots[r]))
                    byRow = "by row";
                if (byRow.empty() || byRow.back() == ' ') byRow += std::to_string(r) + " ";
            }
        } catch (const Damage&) {
            byRow = "by row";
        }
        EXPECT_EQ(taken ? whole : "by row", byRow) << c.what;
        EXPECT_EQ(byRow, c.expected) << c.what;
    }
}

}  // namespace
