// A table's live rows by page, for the structural check.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "components/jet/Reader.h"

namespace Jet::Detail {

// Which rows of a table's pages are live, so index entries can be checked against them: a
// few bytes a page, as the pages come in map order.
class LiveRows {
  public:
    void Add(std::uint32_t page, const std::vector<RowSlot>& slots) {
        if (!pages_.empty() && page <= pages_.back().first) sorted_ = false;
        pages_.emplace_back(page, static_cast<std::uint32_t>(words_.size()));
        words_.resize(words_.size() + (slots.size() + 63) / 64 + 1, 0);
        words_[pages_.back().second] = slots.size();
        for (std::size_t r = 0; r < slots.size(); ++r) {
            if (!slots[r].deleted) words_[pages_.back().second + 1 + r / 64] |= 1ull << (r % 64);
        }
    }
    bool IsLive(RowPointer at) {
        if (!sorted_) std::sort(pages_.begin(), pages_.end());
        sorted_ = true;
        const auto it = std::lower_bound(pages_.begin(), pages_.end(), std::pair(at.page, 0u));
        if (it == pages_.end() || it->first != at.page || at.row >= words_[it->second])
            return false;
        return (words_[it->second + 1 + at.row / 64] >> (at.row % 64) & 1) != 0;
    }

  private:
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pages_;  // page, its first word
    std::vector<std::uint64_t> words_;  // per page: its row count, then a bit per live row
    bool sorted_ = true;
};

}  // namespace Jet::Detail
