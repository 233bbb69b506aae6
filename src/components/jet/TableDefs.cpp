#include <algorithm>

#include "components/jet/Rows.h"

namespace Jet::Detail {

namespace {

constexpr std::uint8_t kTableDefPage = 0x02;
constexpr std::uint8_t kHighestKnownType = 0x14;
constexpr std::size_t kMostDefinitionPages = 64;
// A table's Id is its definition page; the top byte is not part of it, as other readers take
// it, and no file of the format has pages beyond 24 bits.
constexpr std::uint32_t kIdPageBits = 0x00FFFFFF;
constexpr std::int32_t kTableType = 1;
constexpr std::uint32_t kSystemFlags = 0x80000002;

// Reads forward through the joined definition bytes, refusing to step past their end.
class Cursor {
  public:
    Cursor(Bytes b, std::size_t at, std::string where) : b_(b), at_(at), where_(std::move(where)) {}
    Bytes Take(std::size_t n, const char* what) {
        if (at_ > b_.size() || n > b_.size() - at_) {
            throw Damage{where_ + "its definition ends inside its " + what};
        }
        Bytes out = b_.subspan(at_, n);
        at_ += n;
        return out;
    }
    std::size_t Left() const { return at_ <= b_.size() ? b_.size() - at_ : 0; }

  private:
    Bytes b_;
    std::size_t at_;
    std::string where_;
};

}  // namespace

TableDef ReadTableDef(Pages& pages, std::uint32_t page, const std::string& name,
                      const std::function<void(std::uint32_t)>& mayUse) {
    const Format& f = pages.Fmt();
    const std::string where = PageWhere(name, page);
    TableDef t;
    t.name = name;
    t.page = page;
    std::vector<std::uint8_t> joined;
    for (std::uint32_t at = page; at != 0;) {
        if (at >= pages.Count()) {
            throw Damage{where + "its definition continues on page " + std::to_string(at) +
                         ", past the end of the file"};
        }
        if (std::find(t.chain.begin(), t.chain.end(), at) != t.chain.end()) {
            throw Damage{where + "its definition pages lead round in a loop at page " +
                         std::to_string(at)};
        }
        // The largest definition the format allows fills some 17 pages.
        if (t.chain.size() == kMostDefinitionPages) {
            throw NotChecked{"table " + name + " has a definition longer than this reader reads"};
        }
        mayUse(at);
        t.chain.push_back(at);
        const auto bytes = pages.Get(at);
        if ((*bytes)[0] != kTableDefPage) {
            throw Damage{PageWhere(name, at) + "the page is not a table definition page"};
        }
        joined.insert(joined.end(), bytes->begin() + (at == page ? 0 : 8), bytes->end());
        at = U32(*bytes, 4);
    }
    const Bytes b(joined);
    if (b.size() < f.tdefBlocksAt) throw Damage{where + "its definition is cut short"};
    t.storedRows = U32(b, f.tdefStoredRowsAt);
    t.maxColumns = U16(b, f.tdefMaxColumnsAt);
    t.varColumns = U16(b, f.tdefVarColumnsAt);
    const std::uint32_t columns = U16(b, f.tdefColumnsAt);
    const std::uint32_t logical = U32(b, f.tdefLogicalIndexesAt);
    const std::uint32_t real = U32(b, f.tdefRealIndexesAt);
    t.ownedMap = RowPointerAt(b, f.tdefOwnedMapAt);
    t.freeMap = RowPointerAt(b, f.tdefFreeMapAt);
    // Each count is checked against the bytes left before it is trusted for a loop.
    const auto fits = [&](std::uint64_t count, std::size_t each, std::size_t left) {
        return count * each <= left;
    };
    Cursor c(b, f.tdefBlocksAt, where);
    if (!fits(real, f.realIndexCountBlock, c.Left())) {
        throw Damage{where + "its definition claims more indexes than it holds"};
    }
    c.Take(real * f.realIndexCountBlock, "index counts");
    if (!fits(columns, f.columnBlock, c.Left())) {
        throw Damage{where + "its definition claims more columns than it holds"};
    }
    t.columns.resize(columns);
    for (Column& col : t.columns) {
        const Bytes d = c.Take(f.columnBlock, "column descriptions");
        col.type = d[0];
        if (f.jet3) {
            col.number = static_cast<std::uint16_t>(U16(d, 1));
            col.varIndex = static_cast<std::uint16_t>(U16(d, 3));
            col.flags = d[13];
            col.fixedOffset = static_cast<std::uint16_t>(U16(d, 14));
            col.length = static_cast<std::uint16_t>(U16(d, 16));
        } else {
            col.number = static_cast<std::uint16_t>(U16(d, 5));
            col.varIndex = static_cast<std::uint16_t>(U16(d, 7));
            col.flags = d[15];
            col.fixedOffset = static_cast<std::uint16_t>(U16(d, 21));
            col.length = static_cast<std::uint16_t>(U16(d, 23));
        }
    }
    for (Column& col : t.columns) {
        const std::size_t length =
            f.jet3 ? U8(c.Take(1, "column names"), 0) : U16(c.Take(2, "column names"), 0);
        col.name = DecodeText(c.Take(length, "column names"), f);
        if (col.type == 0 || col.type > kHighestKnownType) {
            throw NotChecked{"table " + name + " has a column " + col.name + " of type " +
                             std::to_string(col.type) + ", which this reader does not know"};
        }
    }
    if (!fits(real, f.realIndexBlock, c.Left())) {
        throw Damage{where + "its definition ends inside its index descriptions"};
    }
    t.indexes.resize(real);
    const std::size_t lead = f.jet3 ? 0 : 4;
    for (RealIndex& index : t.indexes) {
        const Bytes d = c.Take(f.realIndexBlock, "index descriptions");
        index.map = RowPointerAt(d, lead + 30);
        index.root = U32(d, lead + 34);
    }
    if (!fits(logical, f.logicalIndexBlock, c.Left())) {
        throw Damage{where + "its definition ends inside its index descriptions"};
    }
    c.Take(logical * f.logicalIndexBlock, "index descriptions");
    for (std::uint32_t i = 0; i < logical; ++i) {
        const std::size_t length =
            f.jet3 ? U8(c.Take(1, "index names"), 0) : U16(c.Take(2, "index names"), 0);
        c.Take(length, "index names");
    }
    // The maps of long-value columns close the definition; older writers may leave them out,
    // so a list that stops early or names no such column simply ends here.
    while (c.Left() >= 2) {
        const std::uint32_t number = U16(c.Take(2, "column maps"), 0);
        if (number == 0xFFFF || c.Left() < 8) break;
        const Bytes d = c.Take(8, "column maps");
        const bool known = std::any_of(t.columns.begin(), t.columns.end(),
                                       [&](const Column& col) { return col.number == number; });
        if (!known) break;
        t.columnMaps.push_back(RowPointerAt(d, 0));
        t.columnMaps.push_back(RowPointerAt(d, 4));
    }
    return t;
}

std::vector<CatalogEntry> ReadCatalog(Pages& pages) {
    const Format& f_ = pages.Fmt();
    const TableDef t = ReadTableDef(pages, kCatalogPage, "MSysObjects", [](std::uint32_t) {});
    const Column *id = nullptr, *name = nullptr, *type = nullptr, *flags = nullptr;
    for (const Column& c : t.columns) {
        if (c.name == "Id") id = &c;
        if (c.name == "Name") name = &c;
        if (c.name == "Type") type = &c;
        if (c.name == "Flags") flags = &c;
    }
    const std::string where = PageWhere("MSysObjects", kCatalogPage);
    if (!id || !name || !type || !flags) {
        throw Damage{where + "the catalog's definition lacks the columns Id, Name, Type or Flags"};
    }
    std::vector<CatalogEntry> entries;
    Pages::Handle keep;
    const Bytes map = MapRow(pages, t.ownedMap, where, keep);
    ForEachMapPage(
        pages, map, where,
        [&](std::uint32_t pageNo) {
            if (pageNo >= pages.Count()) return;  // the table's own check names it
            const auto page = pages.Get(pageNo);
            if (!IsDataPage(*page) || U32(*page, 4) != kCatalogPage) return;
            const std::string at = PageWhere("MSysObjects", pageNo);
            const auto slots = RowSlots(*page, f_, at);
            for (std::uint32_t r = 0; r < slots.size(); ++r) {
                if (slots[r].deleted) continue;
                RowSlot slot = slots[r];
                RowPointer cur{pageNo, r};
                Pages::Handle hold;
                const Bytes rowPage = FollowMoved(pages, t, *page, cur, slot, hold, at);
                CatalogEntry e;
                std::int32_t objectType = -1;
                for (const Field& field : RowFields(rowPage, f_, t, slot, at)) {
                    const Bytes v = rowPage.subspan(field.start, field.end - field.start);
                    if (field.column == type) objectType = static_cast<std::int16_t>(U16(v, 0));
                    if (field.column == id) e.page = U32(v, 0) & kIdPageBits;
                    if (field.column == name) e.name = DecodeText(v, f_);
                    if (field.column == flags) e.system = (U32(v, 0) & kSystemFlags) != 0;
                }
                if (objectType == kTableType) entries.push_back(std::move(e));
            }
        },
        [](std::uint32_t) {});
    return entries;
}

}  // namespace Jet::Detail
