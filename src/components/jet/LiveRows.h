// A table's live rows by page, for the structural check.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "components/jet/Rows.h"

namespace Jet::Detail {

// Which rows of a table's pages are live, so index entries can be checked against them. Per
// page of the file, where its record starts; per data page of the table, a record of its row
// count (16 bits) and a bit per row, kept in blocks of fixed size so that growth never copies
// them.
class LiveRows {
  public:
    // For a file of `pages` pages; 0 for a table whose rows nothing asks about.
    explicit LiveRows(std::uint32_t pages) : at_(pages, 0) {}

    void Add(std::uint32_t page, const std::vector<RowSlot>& slots) {
        std::uint64_t* record = Record(page, slots.size());
        if (!record) return;
        for (std::size_t r = 0; r < slots.size(); ++r) {
            if (!slots[r].deleted) SetLive(record, r);
        }
    }
    // A record of `rows` rows for `page`, none live yet, which replaces any before it; null
    // where nothing asks.
    std::uint64_t* Record(std::uint32_t page, std::size_t rows) {
        if (page >= at_.size()) return nullptr;
        const std::size_t words = Words(rows);
        if (blocks_.empty() || used_ + words > kBlockWords) {
            blocks_.push_back(std::make_unique<std::uint64_t[]>(kBlockWords));
            used_ = 0;
        }
        std::uint64_t* record = blocks_.back().get() + used_;
        at_[page] = static_cast<std::uint32_t>((blocks_.size() - 1) * kBlockWords + used_ + 1);
        used_ += words;
        record[0] = rows;
        return record;
    }
    // The words of a record of `rows` rows.
    static constexpr std::size_t Words(std::size_t rows) { return (kCountBits + rows + 63) / 64; }
    // Makes `record` the record of a data page whose row table RowCountOf bounds, of
    // Words(its row count) words: each row not marked deleted is live. Returns how many are.
    // Built a word at a time, since setting each bit in memory waits for the one before.
    static std::uint32_t Start(std::uint64_t* record, Bytes page, const Format& f) {
        std::uint32_t rows = 0, live = 0;
        RowCountOf(page, f, rows);
        const std::uint8_t* const table = page.data() + f.rowCountAt + 2;
        std::uint64_t word = rows;
        std::size_t bit = kCountBits;
        for (std::uint32_t r = 0; r < rows; ++r, ++bit) {
            if (bit == 64) *record++ = std::exchange(word, 0), bit = 0;
            const std::uint64_t isLive = (~Le16(table + 2 * r) >> 15) & 1;
            word |= isLive << bit;
            live += static_cast<std::uint32_t>(isLive);
        }
        *record = word;
        return live;
    }
    // A record made by Start, for `page`.
    void Copy(std::uint32_t page, const std::uint64_t* from) {
        const std::size_t rows = from[0] & 0xFFFF;
        if (std::uint64_t* record = Record(page, rows)) std::copy_n(from, Words(rows), record);
    }
    static void SetLive(std::uint64_t* record, std::size_t row) {
        const std::size_t bit = kCountBits + row;
        record[bit / 64] |= 1ull << (bit % 64);
    }
    bool IsLive(RowPointer at) const {
        if (at.page >= at_.size() || at_[at.page] == 0) return false;
        const std::uint32_t word = at_[at.page] - 1;
        const std::uint64_t* record = blocks_[word / kBlockWords].get() + word % kBlockWords;
        const std::size_t bit = kCountBits + at.row;
        return at.row < (record[0] & 0xFFFF) && (record[bit / 64] >> (bit % 64) & 1) != 0;
    }

  private:
    // Enough for the largest row table a page can hold.
    static constexpr std::size_t kBlockWords = 8192;
    // A page's row table, bounded by the page, has fewer rows than 16 bits count.
    static constexpr std::size_t kCountBits = 16;
    std::vector<std::uint32_t> at_;  // per page: 1 + the first word of its record, or 0
    std::vector<std::unique_ptr<std::uint64_t[]>> blocks_;
    std::size_t used_ = 0;  // words used in the last block
};

}  // namespace Jet::Detail
