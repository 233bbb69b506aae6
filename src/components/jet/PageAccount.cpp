#include "components/jet/PageAccount.h"

namespace Jet::Detail {

PageAccount::PageAccount(std::uint32_t count)
    : count_(count), flags_(count, kFree), owner_(count, 0), walk_(count, 0) {}

// Every page inside the map's reach is first taken as used; its set bits free them.
void PageAccount::Cover(std::uint64_t from, std::uint64_t to) {
    for (std::uint64_t p = from; p < to && p < count_; ++p)
        flags_[p] = (flags_[p] & kReferenced) | kKnown;
}

void PageAccount::Refer(const Where& subject, std::uint32_t page) {
    if (page >= count_) {
        throw Damage{subject + " leads to page " + std::to_string(page) +
                     ", past the end of the file"};
    }
    if (GlobalFree(page)) {
        throw Damage{subject + " lies on page " + std::to_string(page) +
                     ", which the database's map of free pages calls free"};
    }
    flags_[page] |= kReferenced;
}

void PageAccount::Claim(const TableDef& t, std::uint32_t page, const char* what,
                        const std::unordered_map<std::uint32_t, std::string>& names) {
    const Where where(t.name, page);
    if (page >= count_) {
        throw Damage{PageWhere(t.name, t.page) + "its " + what + " continue on page " +
                     std::to_string(page) + ", past the end of the file"};
    }
    if (owner_[page] != 0 && owner_[page] != t.page) {
        throw Damage{where + "the page is claimed both by this table and by table " +
                     names.at(owner_[page])};
    }
    if (GlobalFree(page)) {
        throw Damage{where + "the page holds its " + what +
                     ", but the database's map of free pages calls it free"};
    }
    owner_[page] = t.page;
    flags_[page] |= kReferenced;
}

void PageAccount::ReadGlobalMap(Pages& pages) {
    Pages::Handle keep;
    const std::string where = "the database's map of free pages: ";
    const Bytes row = MapRow(pages, {kGlobalMapPage, 0}, where, keep);
    if (row.size() >= 5 && row[0] == 0) {
        // The engine allocates the pages beyond an inline map's reach as free ones.
        for (std::uint8_t& f : flags_) f = kKnown | kFree;
        Cover(U32(row, 1), U32(row, 1) + 8ull * (row.size() - 5));
    } else if (row.size() >= 1 && row[0] == 1) {
        // A range whose map page is missing says nothing of its pages.
        const std::uint64_t perPage = (pages.Fmt().pageSize - 4) * 8ull;
        for (std::size_t k = 0; 1 + 4 * k + 4 <= row.size(); ++k) {
            if (NamesMapPage(U32(row, 1 + 4 * k))) Cover(k * perPage, (k + 1) * perPage);
        }
    }
    std::vector<std::uint32_t> reach;
    ForEachMapPage(
        pages, row, where,
        [&](std::uint32_t page) {
            if (page < count_) flags_[page] |= kFree;
        },
        [&](std::uint32_t page) { reach.push_back(page); });
    const std::string mapPage = where + "a map page";
    for (std::uint32_t page : reach) Refer(mapPage, page);
}

void PageAccount::TakeForIndex(const TableDef& t, std::uint32_t page, std::uint32_t mapId,
                               std::uint32_t id, const std::string& name) {
    if (walk_[page] > tableWalks_ && walk_[page] != mapId && walk_[page] != id) {
        throw Damage{PageWhere(t.name, page) + "the page belongs both to " + name +
                     " and to another index of the table"};
    }
    walk_[page] = id;
}

std::uint64_t PageAccount::CountInUse() const {
    std::uint64_t n = 0;
    for (std::uint32_t p = 0; p < count_; ++p) n += InUse(p) ? 1 : 0;
    return n;
}

std::uint64_t PageAccount::CountUnreferenced() const {
    std::uint64_t n = 0;
    for (std::uint32_t p = 0; p < count_; ++p) n += InUse(p) && (flags_[p] & kReferenced) == 0;
    return n;
}

}  // namespace Jet::Detail
