// Rows of the 1997 format longer than 256 bytes: their one-byte column offsets need the jump
// table, which none of the real databases has.
#include <gtest/gtest.h>

#include "components/jet/Reader.h"

namespace {

using namespace Jet::Detail;

struct JumpCase {
    const char* what;
    std::vector<std::uint32_t> offsets;  // of the three text columns, then of their end
    std::vector<std::uint8_t> jumps;     // as stored, nearest the column count first
};

// Lays out a row at the end of a page: count, data, offsets (last first), jumps, count, mask.
std::vector<std::uint8_t> Page(const JumpCase& c, RowSlot& slot) {
    std::vector<std::uint8_t> row{3};
    row.resize(c.offsets.back(), 'x');
    for (auto it = c.offsets.rbegin(); it != c.offsets.rend(); ++it) row.push_back(*it & 0xFF);
    for (auto it = c.jumps.rbegin(); it != c.jumps.rend(); ++it) row.push_back(*it);
    row.push_back(3);
    row.push_back(0x07);
    std::vector<std::uint8_t> page(2048, 0);
    slot = {static_cast<std::uint32_t>(2048 - row.size()), 2048, false, false};
    std::copy(row.begin(), row.end(), page.begin() + slot.start);
    return page;
}

TEST(JetRows, TheJumpTableCarriesOffsetsPast256Bytes) {
    const Format f = Format::ForVersion(0);
    TableDef t;
    t.varColumns = 3;
    for (std::uint16_t i = 0; i < 3; ++i) {
        Column c;
        c.type = 0x0A;
        c.number = c.varIndex = i;
        c.name = "Text" + std::to_string(i);
        t.columns.push_back(c);
    }
    const std::vector<JumpCase> cases = {
        {"two jumps", {1, 201, 401, 601}, {2, 3}},
        {"one jump and a filler", {1, 200, 400, 509}, {2, 0xFF}},
    };
    for (const JumpCase& c : cases) {
        ASSERT_EQ(c.jumps.size(), (c.offsets.back() + c.offsets.size() + c.jumps.size() + 1) / 256)
            << c.what << ": the row's length asks for another number of jumps";
        RowSlot slot;
        const auto page = Page(c, slot);
        const auto fields = RowFields(page, f, t, slot, "");
        ASSERT_EQ(fields.size(), 3u) << c.what;
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(fields[i].start - slot.start, c.offsets[i]) << c.what << " column " << i;
            EXPECT_EQ(fields[i].end - slot.start, c.offsets[i + 1]) << c.what << " column " << i;
        }
    }
}

}  // namespace
