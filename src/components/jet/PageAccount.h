// Every page of the file accounted for during a check: what the database-wide map says of it,
// which table holds it, which index walk last met it and whether anything refers to it. Flat
// arrays indexed by page number, a few bytes a page, so a large file costs no more than that.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "components/jet/Reader.h"

namespace Jet::Detail {

// The page that holds the database-wide map of free pages.
inline constexpr std::uint32_t kGlobalMapPage = 1;

class PageAccount {
  public:
    explicit PageAccount(std::uint32_t count);

    // Reads the database-wide map of free pages; a page it does not cover is neither free nor
    // in use, and no finding rests on it.
    void ReadGlobalMap(Pages& pages);
    // Free by the database-wide map, or past the end of the file.
    bool GlobalFree(std::uint32_t page) const {
        return page >= count_ || (flags_[page] & (kKnown | kFree)) == (kKnown | kFree);
    }
    bool InUse(std::uint32_t page) const { return (flags_[page] & (kKnown | kFree)) == kKnown; }

    // A page `subject` refers to, which others may refer to as well.
    void Refer(const Where& subject, std::uint32_t page);
    // A page table `t` alone may hold; `names` gives the other tables' names by their
    // definition page.
    void Claim(const TableDef& t, std::uint32_t page, const char* what,
               const std::unordered_map<std::uint32_t, std::string>& names);

    // Index walks: each gets a new mark; a page met by the walk of another index of the same
    // table (one marked since StartTable) is damage.
    std::uint32_t NewWalk() { return ++walks_; }
    void StartTable() { tableWalks_ = walks_; }
    std::uint32_t LastWalk(std::uint32_t page) const { return walk_[page]; }
    // Marks an index's page as met in the index's map (`mapId`) or tree (`id`).
    void TakeForIndex(const TableDef& t, std::uint32_t page, std::uint32_t mapId, std::uint32_t id,
                      const std::string& name);

    std::uint64_t CountInUse() const;
    // Pages in use that nothing referred to.
    std::uint64_t CountUnreferenced() const;

  private:
    static constexpr std::uint8_t kKnown = 1, kFree = 2, kReferenced = 4;
    void Cover(std::uint64_t from, std::uint64_t to);

    std::uint32_t count_;
    std::vector<std::uint8_t> flags_;   // kKnown: the map covers it; kFree; kReferenced
    std::vector<std::uint32_t> owner_;  // the definition page of the table that holds it
    std::vector<std::uint32_t> walk_;   // the index walk that last met it
    std::uint32_t walks_ = 0;
    std::uint32_t tableWalks_ = 0;  // the last mark given before the current table
};

}  // namespace Jet::Detail
