#include <algorithm>
#include <array>
#include <unordered_map>

#include "components/jet/Reader.h"

namespace Jet {

namespace {

using namespace Detail;

constexpr std::uint32_t kGlobalMapPage = 1;
constexpr std::uint8_t kIndexNode = 0x03, kIndexLeaf = 0x04;
constexpr std::uint8_t kInlineValue = 0x80, kOneRowValue = 0x40, kChainedValue = 0x00;

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

class Checker {
  public:
    Checker(const PageSource& source, const Header& header)
        : pages_(source, header),
          f_(header.format),
          owner_(pages_.Count(), 0),
          walk_(pages_.Count(), 0),
          referenced_(pages_.Count(), false) {}

    // Fills `report` as far as it gets; throws the first damage met.
    void Run(CheckReport& report);

  private:
    void CheckTable(const CatalogEntry& entry, TableRows& rows);
    void CheckRow(const TableDef& t, Bytes page, std::uint32_t pageNo, std::uint32_t rowNo,
                  const RowSlot& slot);
    void CheckLongValue(const TableDef& t, Bytes value, const std::string& where);
    void CheckIndex(const TableDef& t, const RealIndex& index, std::size_t number, LiveRows& live);
    // Marks an index's page as met in the index's map (`id` = `mapId`) or tree (`id`).
    void TakeForIndex(const TableDef& t, std::uint32_t page, std::uint32_t mapId, std::uint32_t id,
                      const std::string& name);
    void ReadGlobalMap();
    // Free by the database-wide map; a page it does not cover is neither free nor in use.
    bool GlobalFree(std::uint32_t page) const {
        return page >= pages_.Count() || (known_[page] && free_[page]);
    }
    bool InUse(std::uint32_t page) const { return known_[page] && !free_[page]; }
    // A page this table alone may hold.
    void Claim(const TableDef& t, std::uint32_t page, const char* what);
    // A page something refers to, which others may refer to as well.
    void Refer(const std::string& subject, std::uint32_t page);
    Bytes Map(const TableDef& t, RowPointer at, Pages::Handle& keep);

    Pages pages_;
    const Format& f_;
    std::vector<std::uint32_t> owner_;  // the definition page of the table that holds it
    std::vector<std::uint32_t> walk_;   // the index walk that last met it
    std::vector<bool> referenced_;
    std::vector<bool> free_, known_;  // the database-wide map, and the pages it covers
    std::unordered_map<std::uint32_t, std::string> names_;
    std::uint32_t walks_ = 0;
    std::uint32_t tableWalks_ = 0;  // the last mark given before the current table
    std::vector<std::string>* notes_ = nullptr;
};

void Checker::Refer(const std::string& subject, std::uint32_t page) {
    if (page >= pages_.Count()) {
        throw Damage{subject + " leads to page " + std::to_string(page) +
                     ", past the end of the file"};
    }
    if (GlobalFree(page)) {
        throw Damage{subject + " lies on page " + std::to_string(page) +
                     ", which the database's map of free pages calls free"};
    }
    referenced_[page] = true;
}

void Checker::Claim(const TableDef& t, std::uint32_t page, const char* what) {
    const std::string where = PageWhere(t.name, page);
    if (page >= pages_.Count()) {
        throw Damage{PageWhere(t.name, t.page) + "its " + what + " continue on page " +
                     std::to_string(page) + ", past the end of the file"};
    }
    if (owner_[page] != 0 && owner_[page] != t.page) {
        throw Damage{where + "the page is claimed both by this table and by table " +
                     names_[owner_[page]]};
    }
    if (GlobalFree(page)) {
        throw Damage{where + "the page holds its " + what +
                     ", but the database's map of free pages calls it free"};
    }
    owner_[page] = t.page;
    referenced_[page] = true;
}

Bytes Checker::Map(const TableDef& t, RowPointer at, Pages::Handle& keep) {
    const std::string where = PageWhere(t.name, t.page);
    if (at.page < pages_.Count()) Refer(where + "its map of pages", at.page);
    return MapRow(pages_, at, where, keep);
}

void Checker::ReadGlobalMap() {
    free_.assign(pages_.Count(), true);
    known_.assign(pages_.Count(), false);
    Pages::Handle keep;
    const std::string where = "the database's map of free pages: ";
    const Bytes row = MapRow(pages_, {kGlobalMapPage, 0}, where, keep);
    // Every page inside the map's reach is first taken as used; its set bits free them.
    const auto cover = [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t p = from; p < to && p < pages_.Count(); ++p) {
            known_[p] = true;
            free_[p] = false;
        }
    };
    if (row.size() >= 5 && row[0] == 0) {
        // The engine allocates the pages beyond an inline map's reach as free ones.
        known_.assign(pages_.Count(), true);
        cover(U32(row, 1), U32(row, 1) + 8ull * (row.size() - 5));
    } else if (row.size() >= 1 && row[0] == 1) {
        // A range whose map page is missing says nothing of its pages.
        const std::uint64_t perPage = (f_.pageSize - 4) * 8ull;
        for (std::size_t k = 0; 1 + 4 * k + 4 <= row.size(); ++k) {
            if (NamesMapPage(U32(row, 1 + 4 * k))) cover(k * perPage, (k + 1) * perPage);
        }
    }
    std::vector<std::uint32_t> reach;
    ForEachMapPage(
        pages_, row, where,
        [&](std::uint32_t page) {
            if (page < pages_.Count()) free_[page] = true;
        },
        [&](std::uint32_t page) { reach.push_back(page); });
    for (std::uint32_t page : reach) Refer(where + "a map page", page);
}

void Checker::Run(CheckReport& report) {
    notes_ = &report.Notes;
    ReadGlobalMap();
    // Counted before the tables, so a damaged database still reports its pages.
    PageTally& tally = report.Pages;
    tally.Total = pages_.Count();
    for (std::uint32_t p = 0; p < pages_.Count(); ++p) tally.InUse += InUse(p) ? 1 : 0;
    tally.Free = tally.Total - tally.InUse;
    for (std::uint32_t fixed : {0u, kGlobalMapPage}) Refer("the file's first pages", fixed);
    const std::vector<CatalogEntry> catalog = ReadCatalog(pages_);
    // The catalog lists itself; one that does not has lost rows, and with them, perhaps, tables.
    if (std::none_of(catalog.begin(), catalog.end(), [](const CatalogEntry& e) {
            return e.page == kCatalogPage && e.name == "MSysObjects";
        })) {
        throw Damage{"table MSysObjects, page " + std::to_string(kCatalogPage) +
                     ": the catalog does not list itself"};
    }
    for (const CatalogEntry& e : catalog) {
        if (!names_.emplace(e.page, e.name).second || e.page == 0) {
            throw Damage{"table " + e.name + ": the catalog names page " + std::to_string(e.page) +
                         " as its definition, which is not free to be one"};
        }
    }
    for (const CatalogEntry& e : catalog) {
        report.Tables.push_back({e.name, e.system, 0});
        CheckTable(e, report.Tables.back());
    }
    for (std::uint32_t p = 0; p < pages_.Count(); ++p) {
        tally.Unreferenced += InUse(p) && !referenced_[p] ? 1 : 0;
    }
    if (tally.Unreferenced > 0) {
        report.Notes.push_back(std::to_string(tally.Unreferenced) +
                               " pages are allocated but referenced by nothing");
    }
    report.Outcome = Verdict::kSound;
}

void Checker::CheckTable(const CatalogEntry& e, TableRows& rows) {
    if (e.page >= pages_.Count()) {
        throw Damage{"table " + e.name + ": the catalog names page " + std::to_string(e.page) +
                     " as its definition, past the end of the file"};
    }
    TableDef t;
    t.name = e.name;
    t.page = e.page;
    t = ReadTableDef(pages_, e.page, e.name,
                     [&](std::uint32_t page) { Claim(t, page, "definition pages"); });
    Pages::Handle keep;
    LiveRows live;
    const Bytes owned = Map(t, t.ownedMap, keep);
    ForEachMapPage(
        pages_, owned, PageWhere(t.name, t.page),
        [&](std::uint32_t pageNo) {
            Claim(t, pageNo, "rows");
            const auto page = pages_.Get(pageNo);
            const std::string where = PageWhere(t.name, pageNo);
            // Rows of another table are damage; a page of another kind is not known to be.
            if (!IsDataPage(*page) || IsLongValuePage(*page)) {
                throw NotChecked{where + "the table's map names a page of kind " +
                                 std::to_string((*page)[0]) + " among its rows"};
            }
            if (U32(*page, 4) != t.page) {
                throw Damage{where +
                             "the page is in the table's map but is not a data page "
                             "of that table"};
            }
            const auto slots = RowSlots(*page, f_, where);
            live.Add(pageNo, slots);
            for (std::uint32_t r = 0; r < slots.size(); ++r) {
                if (slots[r].deleted) continue;
                ++rows.LiveRows;
                CheckRow(t, *page, pageNo, r, slots[r]);
            }
        },
        [&](std::uint32_t page) { Refer(PageWhere(t.name, t.page) + "a map page", page); });
    Map(t, t.freeMap, keep);
    for (const RowPointer& map : t.columnMaps) {
        if (map == RowPointer{}) continue;  // a column without a map of its own
        const Bytes row = Map(t, map, keep);
        ForEachMapPage(
            pages_, row, PageWhere(t.name, t.page),
            [&](std::uint32_t page) {
                Refer(PageWhere(t.name, t.page) + "its map of long values", page);
                if (!IsLongValuePage(*pages_.Get(page))) {
                    throw Damage{PageWhere(t.name, page) +
                                 "the page is in the table's map of long values but holds none"};
                }
            },
            [&](std::uint32_t page) { Refer(PageWhere(t.name, t.page) + "a map page", page); });
    }
    tableWalks_ = walks_;
    for (std::size_t i = 0; i < t.indexes.size(); ++i) CheckIndex(t, t.indexes[i], i, live);
    if (rows.LiveRows != t.storedRows) {
        notes_->push_back("table " + t.name + ": its definition stores " +
                          std::to_string(t.storedRows) + " rows, " + std::to_string(rows.LiveRows) +
                          " were counted");
    }
}

void Checker::CheckRow(const TableDef& t, Bytes page, std::uint32_t pageNo, std::uint32_t rowNo,
                       const RowSlot& slot) {
    std::string where = PageWhere(t.name, pageNo) + "row " + std::to_string(rowNo) + ": ";
    Pages::Handle hold;
    RowSlot at = slot;
    RowPointer cur{pageNo, rowNo};
    if (slot.overflow) {
        page = FollowMoved(pages_, t, page, cur, at, hold, where);
        where = PageWhere(t.name, cur.page) + "row " + std::to_string(cur.row) + ": ";
    }
    for (const Field& field : RowFields(page, f_, t, at, where)) {
        if (!field.column->LongValue() || field.end == field.start) continue;
        CheckLongValue(t, page.subspan(field.start, field.end - field.start),
                       where + "the long value in column " + field.column->name);
    }
}

void Checker::CheckLongValue(const TableDef& t, Bytes value, const std::string& where) {
    (void)t;
    if (value.size() < 12) return;  // too short to lead anywhere; readers take it as empty
    const LongValue lv = LongValueAt(value, 0);
    if (lv.kind == kInlineValue) {
        if (lv.length > value.size() - 12) throw Damage{where + " is longer than its row holds"};
        return;
    }
    if (lv.kind != kOneRowValue && lv.kind != kChainedValue) {
        throw NotChecked{where + " is stored in a way this reader does not know"};
    }
    RowPointer cur = lv.first;
    ChainWalk walk(cur);
    std::uint64_t collected = 0;
    for (;;) {
        Refer(where, cur.page);
        const auto page = pages_.Get(cur.page);
        RowSlot slot;
        if (!IsLongValuePage(*page) || !RowAt(*page, f_, cur.row, slot) || slot.deleted) {
            throw Damage{where + " leads to row " + std::to_string(cur.row) + " of page " +
                         std::to_string(cur.page) + ", which does not exist"};
        }
        if (lv.kind == kOneRowValue) return;
        if (slot.end - slot.start < 4) throw Damage{where + " has a chunk too short for its link"};
        collected += slot.end - slot.start - 4;
        const RowPointer next = RowPointerAt(*page, slot.start);
        if (next.page == 0 || collected >= lv.length) return;
        if (walk.ReturnsTo(next)) throw Damage{where + " leads round in a loop"};
        cur = next;
    }
}

void Checker::TakeForIndex(const TableDef& t, std::uint32_t page, std::uint32_t mapId,
                           std::uint32_t id, const std::string& name) {
    if (walk_[page] > tableWalks_ && walk_[page] != mapId && walk_[page] != id) {
        throw Damage{PageWhere(t.name, page) + "the page belongs both to " + name +
                     " and to another index of the table"};
    }
    walk_[page] = id;
}

void Checker::CheckIndex(const TableDef& t, const RealIndex& index, std::size_t number,
                         LiveRows& live) {
    const std::string name = "index " + std::to_string(number + 1);
    Pages::Handle keep;
    const Bytes map = Map(t, index.map, keep);
    const std::uint32_t mapId = ++walks_, walk = ++walks_;
    ForEachMapPage(
        pages_, map, PageWhere(t.name, t.page),
        [&](std::uint32_t page) {
            Claim(t, page, "index entries");
            TakeForIndex(t, page, mapId, mapId, name);
            const auto bytes = pages_.Get(page);
            const std::uint8_t type = (*bytes)[0];
            if ((type != kIndexNode && type != kIndexLeaf) || U32(*bytes, 4) != t.page) {
                throw Damage{PageWhere(t.name, page) + "the page is in the map of " + name +
                             " but is not an index page of that table"};
            }
        },
        [&](std::uint32_t page) { Refer(PageWhere(t.name, t.page) + "a map page", page); });
    std::vector<std::uint32_t> todo{index.root};
    while (!todo.empty()) {
        const std::uint32_t pageNo = todo.back();
        todo.pop_back();
        if (pageNo >= pages_.Count()) {
            throw Damage{PageWhere(t.name, t.page) + name + " leads to page " +
                         std::to_string(pageNo) + ", past the end of the file"};
        }
        if (walk_[pageNo] == walk) continue;
        Claim(t, pageNo, "index entries");
        TakeForIndex(t, pageNo, mapId, walk, name);
        const auto page = pages_.Get(pageNo);
        const std::string where = PageWhere(t.name, pageNo);
        const std::uint8_t type = (*page)[0];
        if ((type != kIndexNode && type != kIndexLeaf) || U32(*page, 4) != t.page) {
            throw Damage{where + "the page is reached from " + name +
                         " but is not an index page of that table"};
        }
        for (const IndexEntry& e : IndexEntries(*page, f_, where)) {
            if (type == kIndexNode) {
                todo.push_back(e.child);
                continue;
            }
            if (!live.IsLive(e.row)) {
                throw Damage{where + "an entry of " + name + " points at row " +
                             std::to_string(e.row.row) + " of page " + std::to_string(e.row.page) +
                             ", which is not a live row of that table"};
            }
        }
        if (const std::uint32_t next = U32(*page, f_.indexNextAt); next != 0) todo.push_back(next);
    }
}

}  // namespace

CheckReport CheckDatabase(const PageSource& source) {
    CheckReport report;
    try {
        const Header header = ReadHeader(source);
        Checker checker(source, header);
        checker.Run(report);
    } catch (const Damage& d) {
        report.Outcome = Verdict::kDamaged;
        report.Finding = d.what;
    } catch (const NotChecked& n) {
        report.Outcome = Verdict::kNotChecked;
        report.Finding = n.why;
        report.UnknownFormat = n.unknownFormat;
    } catch (const Unreadable& u) {
        report.Outcome = Verdict::kUnreadable;
        report.Finding = u.what;
    } catch (const NotADatabase& n) {
        report.Outcome = Verdict::kNotADatabase;
        report.Finding = n.why;
    } catch (const std::bad_alloc&) {
        report.Outcome = Verdict::kNotChecked;
        report.Finding = "there was not enough memory to check it";
    }
    return report;
}

}  // namespace Jet
