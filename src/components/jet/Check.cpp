#include <algorithm>
#include <array>
#include <unordered_map>

#include "components/jet/LiveRows.h"
#include "components/jet/LongValueChain.h"
#include "components/jet/PageAccount.h"
#include "components/jet/PageBatches.h"
#include "components/jet/Rows.h"

namespace Jet {

namespace {

using namespace Detail;

constexpr std::uint8_t kIndexNode = 0x03, kIndexLeaf = 0x04;

class Checker {
  public:
    Checker(const PageSource& source, const Header& header, SecondThread* second)
        : pages_(source, header),
          f_(header.format),
          account_(pages_.Count()),
          batches_(source, header, second) {}

    // Fills `report` as far as it gets; throws the first damage met.
    void Run(CheckReport& report);

  private:
    void CheckTable(const CatalogEntry& entry, TableRows& rows);
    // That a page the table's map names among its rows is a data page of the table.
    void CheckKind(const TableDef& t, std::uint32_t pageNo, Bytes page);
    // The rows of a data page, one by one.
    void CheckRows(const TableDef& t, std::uint32_t pageNo, Bytes bytes, TableRows& rows,
                   LiveRows& live);
    // A moved row, followed to where it lies.
    void CheckMovedRow(const TableDef& t, Bytes page, std::uint32_t pageNo, std::uint32_t rowNo,
                       const RowSlot& slot);
    // The long values of the row at `where`, read from `page`.
    void CheckLongValues(Bytes page, const std::vector<Field>& values, const Where& where);
    void CheckIndex(const TableDef& t, const RealIndex& index, std::size_t number, LiveRows& live);
    void Claim(const TableDef& t, std::uint32_t page, const char* what) {
        account_.Claim(t, page, what, names_);
    }
    void Refer(const Where& subject, std::uint32_t page) { account_.Refer(subject, page); }
    Bytes Map(const TableDef& t, RowPointer at, Pages::Handle& keep);

    Pages pages_;
    const Format& f_;
    PageAccount account_;
    std::unordered_map<std::uint32_t, std::string> names_;
    std::vector<std::string>* notes_ = nullptr;
    // Storage the walk reuses from page to page and row to row.
    std::vector<RowSlot> slots_;
    RowScratch row_;
    RowLayout layout_;  // of the table being walked
    PageBatches batches_;
};

Bytes Checker::Map(const TableDef& t, RowPointer at, Pages::Handle& keep) {
    const std::string where = PageWhere(t.name, t.page);
    if (at.page < pages_.Count()) Refer(where + "its map of pages", at.page);
    return MapRow(pages_, at, where, keep);
}

void Checker::Run(CheckReport& report) {
    notes_ = &report.Notes;
    account_.ReadGlobalMap(pages_);
    // Counted before the tables, so a damaged database still reports its pages.
    PageTally& tally = report.Pages;
    tally.Total = pages_.Count();
    tally.InUse = account_.CountInUse();
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
    tally.Unreferenced = account_.CountUnreferenced();
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
    layout_ = LayoutOf(t, f_);
    Pages::Handle keep;
    // Only an index asks which rows are live.
    LiveRows live(t.indexes.empty() ? 0 : pages_.Count());
    const Bytes owned = Map(t, t.ownedMap, keep);
    // Most pages: nothing to follow, and no doubt to name, which a page taken whole shows.
    const bool whole = layout_.longValues.empty() && !layout_.jet3;
    batches_.Begin(layout_, [&](const PageTaken& p) {
        if (!p.read) throw Unreadable{"page " + std::to_string(p.page) + " cannot be read"};
        CheckKind(t, p.page, p.bytes);
        if (!p.fits) return CheckRows(t, p.page, p.bytes, rows, live);
        rows.LiveRows += p.liveRows;
        live.Copy(p.page, p.record.data());
    });
    try {
        ForEachMapPage(
            pages_, owned, PageWhere(t.name, t.page),
            [&](std::uint32_t pageNo) {
                Claim(t, pageNo, "rows");
                if (whole) return batches_.Add(pageNo);
                const auto page = pages_.Get(pageNo);
                CheckKind(t, pageNo, *page);
                CheckRows(t, pageNo, *page, rows, live);
            },
            [&](std::uint32_t page) { Refer(PageWhere(t.name, t.page) + "a map page", page); });
    } catch (...) {
        // The pages before the one that raised come first.
        batches_.Drain();
        throw;
    }
    batches_.Drain();
    Map(t, t.freeMap, keep);
    for (const RowPointer& map : t.columnMaps) {
        if (map == RowPointer{}) continue;  // a column without a map of its own
        const Bytes row = Map(t, map, keep);
        const std::string longValues = PageWhere(t.name, t.page) + "its map of long values";
        ForEachMapPage(
            pages_, row, PageWhere(t.name, t.page),
            [&](std::uint32_t page) {
                Refer(longValues, page);
                if (!IsLongValuePage(*pages_.Get(page))) {
                    throw Damage{Where(t.name, page) +
                                 "the page is in the table's map of long values but holds none"};
                }
            },
            [&](std::uint32_t page) { Refer(PageWhere(t.name, t.page) + "a map page", page); });
    }
    account_.StartTable();
    for (std::size_t i = 0; i < t.indexes.size(); ++i) CheckIndex(t, t.indexes[i], i, live);
    if (rows.LiveRows != t.storedRows) {
        notes_->push_back("table " + t.name + ": its definition stores " +
                          std::to_string(t.storedRows) + " rows, " + std::to_string(rows.LiveRows) +
                          " were counted");
    }
}

void Checker::CheckKind(const TableDef& t, std::uint32_t pageNo, Bytes page) {
    const Where where(t.name, pageNo);
    // Rows of another table are damage; a page of another kind is not known to be.
    if (!IsDataPage(page) || IsLongValuePage(page)) {
        throw NotChecked{where + "the table's map names a page of kind " + std::to_string(page[0]) +
                         " among its rows"};
    }
    if (U32(page, 4) != t.page) {
        throw Damage{where + "the page is in the table's map but is not a data page of that table"};
    }
}

void Checker::CheckRows(const TableDef& t, std::uint32_t pageNo, Bytes bytes, TableRows& rows,
                        LiveRows& live) {
    RowSlots(bytes, f_, Where(t.name, pageNo), slots_);
    live.Add(pageNo, slots_);
    const std::uint32_t count = static_cast<std::uint32_t>(slots_.size());
    for (std::uint32_t r = 0; r < count; ++r) {
        const RowSlot& slot = slots_[r];
        if (slot.deleted) continue;
        ++rows.LiveRows;
        if (slot.overflow) {
            CheckMovedRow(t, bytes, pageNo, r, slot);
            continue;
        }
        if (layout_.longValues.empty() && RowFits(bytes, BoundsOf(layout_), slot)) continue;
        const Where where = Where(t.name, pageNo).Row(r);
        const std::vector<Field>& values =
            LongValueFields(bytes, f_, t, layout_, slot, where, row_);
        if (!values.empty()) CheckLongValues(bytes, values, where);
    }
}

void Checker::CheckMovedRow(const TableDef& t, Bytes page, std::uint32_t pageNo,
                            std::uint32_t rowNo, const RowSlot& slot) {
    Pages::Handle hold;
    RowSlot at = slot;
    RowPointer cur{pageNo, rowNo};
    page = FollowMoved(pages_, t, page, cur, at, hold, Where(t.name, pageNo).Row(rowNo));
    const Where where = Where(t.name, cur.page).Row(cur.row);
    CheckLongValues(page, LongValueFields(page, f_, t, layout_, at, where, row_), where);
}

void Checker::CheckLongValues(Bytes page, const std::vector<Field>& values, const Where& where) {
    for (const Field& field : values) {
        if (field.end == field.start) continue;
        CheckLongValue(pages_, f_, account_, page.subspan(field.start, field.end - field.start),
                       where.LongValueIn(field.column->name));
    }
}

void Checker::CheckIndex(const TableDef& t, const RealIndex& index, std::size_t number,
                         LiveRows& live) {
    const std::string name = "index " + std::to_string(number + 1);
    Pages::Handle keep;
    const Bytes map = Map(t, index.map, keep);
    const std::uint32_t mapId = account_.NewWalk(), walk = account_.NewWalk();
    ForEachMapPage(
        pages_, map, PageWhere(t.name, t.page),
        [&](std::uint32_t page) {
            Claim(t, page, "index entries");
            account_.TakeForIndex(t, page, mapId, mapId, name);
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
        if (account_.LastWalk(pageNo) == walk) continue;
        Claim(t, pageNo, "index entries");
        account_.TakeForIndex(t, pageNo, mapId, walk, name);
        const auto page = pages_.Get(pageNo);
        const Where where(t.name, pageNo);
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

CheckReport CheckDatabase(const PageSource& source, SecondThread* second) {
    CheckReport report;
    try {
        const Header header = ReadHeader(source);
        Checker checker(source, header, second);
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
