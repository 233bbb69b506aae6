// The pieces of the file format reader the check is built from. Every function here keeps
// its reads inside the page it was handed and throws one of the outcomes below for anything
// it cannot decode; none of them trusts a number read from the file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "components/jet/DatabaseCheck.h"

namespace Jet::Detail {

// The file is damaged: `what` is the whole finding, in plain words.
struct Damage {
    std::string what;
};
// The reader met something it does not know.
struct NotChecked {
    std::string why;
    bool unknownFormat = false;  // the header names a format version not known
};
// A read of the page source failed.
struct Unreadable {
    std::string what;
};
struct NotADatabase {
    std::string why;
};

using Bytes = std::span<const std::uint8_t>;

inline std::uint32_t U8(Bytes b, std::size_t at) { return at < b.size() ? b[at] : 0; }
inline std::uint32_t U16(Bytes b, std::size_t at) { return U8(b, at) | U8(b, at + 1) << 8; }
inline std::uint32_t U24(Bytes b, std::size_t at) { return U16(b, at) | U8(b, at + 2) << 16; }
inline std::uint32_t U32(Bytes b, std::size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

// The layout constants of the two page formats (the .accdb versions share the second).
struct Format {
    bool jet3 = false;
    std::uint32_t pageSize = 4096;
    // Data pages.
    std::size_t rowCountAt = 12;  // row count; the 2-byte row offsets follow it
    // Rows.
    std::size_t columnCountSize = 2;
    // Table definitions.
    std::size_t tdefStoredRowsAt = 16, tdefMaxColumnsAt = 41, tdefVarColumnsAt = 43,
                tdefColumnsAt = 45, tdefLogicalIndexesAt = 47, tdefRealIndexesAt = 51,
                tdefOwnedMapAt = 55, tdefFreeMapAt = 59, tdefBlocksAt = 63,
                realIndexCountBlock = 12, columnBlock = 25, realIndexBlock = 52,
                logicalIndexBlock = 28;
    // Index pages.
    std::size_t indexPrefixLengthAt = 24, indexBitmapAt = 0x1B, indexFirstEntryAt = 0x1E0;
    std::size_t indexNextAt = 16;

    static Format ForVersion(unsigned version);
};

// XORs `data` with the RC4 keystream of the 4-byte little-endian `key`: the scrambling of
// the header's fixed range and of every page of an encoded database.
void Rc4(std::uint32_t key, std::span<std::uint8_t> data);

struct Header {
    Format format;
    unsigned version = 0;
    std::uint32_t codePage = 0;
    std::uint32_t sortOrder = 0;
    std::uint32_t databaseKey = 0;  // non-zero: every page after the first is scrambled with it
};

// Decodes page 0; throws NotADatabase, NotChecked (a cipher) or Damage (a cut file).
Header ReadHeader(const PageSource& source);

// Bytes for the file's reads to land in, from the start of a memory page: the kernel copies
// from its page cache into a buffer that starts a few bytes further at half the speed.
class ReadBuffer {
  public:
    explicit ReadBuffer(std::size_t size)
        : bytes_(static_cast<std::uint8_t*>(::operator new[](size, kAlign))) {}
    std::uint8_t* data() const { return bytes_.get(); }

  private:
    static constexpr std::align_val_t kAlign{4096};
    struct Free {
        void operator()(std::uint8_t* p) const { ::operator delete[](p, kAlign); }
    };
    std::unique_ptr<std::uint8_t[], Free> bytes_;
};

// Pages by number through a bounded cache, unscrambled. A handle keeps its page alive after
// the cache has let it go. A walk through the file in order is read ahead in runs of pages,
// so that the disk is asked for large reads rather than one page at a time.
class Pages {
  public:
    using Handle = std::shared_ptr<const std::vector<std::uint8_t>>;
    Pages(const PageSource& source, const Header& header, std::size_t cacheSlots = 256);
    std::uint32_t Count() const { return count_; }
    const Format& Fmt() const { return header_.format; }
    // The page; the caller keeps `page` below Count().
    Handle Get(std::uint32_t page);

  private:
    void Load(std::uint32_t page, std::vector<std::uint8_t>& bytes);
    std::size_t Bucket(std::uint32_t page) const {
        return (page * 2654435761u) & (index_.size() - 1);
    }
    void Unindex(std::size_t slot);
    void Use(std::size_t slot);  // moves it to the front of the order of use

    const PageSource& source_;
    Header header_;
    std::uint32_t count_;
    std::size_t slots_;
    // The cache's slots side by side: the page each holds (UINT32_MAX for none), and the order
    // of their use as a list, so that the least recently used is found at once.
    std::vector<std::uint32_t> pageOf_;
    std::vector<std::uint32_t> newer_, older_;
    std::uint32_t newest_ = 0, oldest_ = 0;
    std::vector<std::shared_ptr<std::vector<std::uint8_t>>> bytes_;
    // Which slot holds a page: open addressing, 1 + the slot, 0 for an empty bucket; at least
    // twice as many buckets as slots, so that a look-up ends within a few.
    std::vector<std::uint32_t> index_;
    std::size_t last_ = 0;  // the slot the last look-up found
    // The run read ahead, raw, and the page it starts with.
    static constexpr std::size_t kRunBytes = 256 * 1024;
    ReadBuffer ahead_{kRunBytes};
    std::uint32_t aheadFirst_ = 0, aheadPages_ = 0;
    std::uint32_t lastLoaded_ = 0;
};

// The place a finding is about, as its text begins ("table T, page N: row R: "). The text is
// made only when a finding is made: a walk names the place of every page and row it reads.
// It refers to the strings it is made from, which outlive it.
class Where {
  public:
    Where(const char* text) : chars_(text) {}
    Where(const std::string& text) : text_(&text) {}
    Where(const std::string& table, std::uint32_t page) : table_(&table), page_(page) {}
    // The same place, in row `row` of the page.
    Where Row(std::uint32_t row) const {
        Where w = *this;
        w.row_ = row;
        w.hasRow_ = true;
        return w;
    }
    // The long value in `column` of the row.
    Where LongValueIn(const std::string& column) const {
        Where w = *this;
        w.column_ = &column;
        return w;
    }
    std::string Text() const;
    friend std::string operator+(const Where& w, const std::string& s) { return w.Text() + s; }
    friend std::string operator+(const Where& w, const char* s) { return w.Text() + s; }

  private:
    const char* chars_ = nullptr;
    const std::string* text_ = nullptr;
    const std::string* table_ = nullptr;
    std::uint32_t page_ = 0, row_ = 0;
    bool hasRow_ = false;
    const std::string* column_ = nullptr;
};

// A pointer to a row: row number and page, as the format stores it.
struct RowPointer {
    std::uint32_t page = 0;
    std::uint32_t row = 0;
    bool operator==(const RowPointer&) const = default;
};
inline RowPointer RowPointerAt(Bytes b, std::size_t at) { return {U24(b, at + 1), U8(b, at)}; }

// Brent's cycle finding over a chain of row pointers: constant memory, however long the
// chain, and every loop is met within twice its length plus its tail.
class ChainWalk {
  public:
    explicit ChainWalk(RowPointer start) : tortoise_(start), current_(start) {}
    // Moves on to `next`; true when the chain has come back to a place it has been.
    bool ReturnsTo(RowPointer next) {
        if (steps_ == power_) {
            tortoise_ = current_;
            power_ *= 2;
            steps_ = 0;
        }
        current_ = next;
        ++steps_;
        return current_ == tortoise_;
    }

  private:
    RowPointer tortoise_, current_;
    std::uint64_t power_ = 1, steps_ = 0;
};

// One slot of a data page's row table.
struct RowSlot {
    std::uint32_t start = 0, end = 0;
    bool deleted = false, overflow = false;
};
// A row table's entry: where its row starts and whether it is deleted or moved; the row ends at
// `end`, where the row before it starts.
inline RowSlot SlotOf(std::uint32_t entry, std::uint32_t end) {
    return {entry & 0x1FFF, end, (entry & 0x8000) != 0, (entry & 0x4000) != 0};
}
// The rows of a data page; throws Damage (naming `where`) when the table does not fit.
std::vector<RowSlot> RowSlots(Bytes page, const Format& f, const Where& where);
// The same into `rows`, whose storage a walk reuses from page to page.
void RowSlots(Bytes page, const Format& f, const Where& where, std::vector<RowSlot>& rows);
// The row on `page` numbered `row`, if there is one and its bounds lie inside the page.
bool RowAt(Bytes page, const Format& f, std::uint32_t row, RowSlot& slot);
bool IsDataPage(Bytes page);
bool IsLongValuePage(Bytes page);
std::string PageWhere(const std::string& table, std::uint32_t page);

struct Column {
    std::uint8_t type = 0;
    std::uint8_t flags = 0;
    std::uint16_t number = 0, varIndex = 0, fixedOffset = 0, length = 0;
    std::string name;
    bool Fixed() const { return (flags & 0x01) != 0; }
    bool LongValue() const { return type == 0x0B || type == 0x0C; }
};

struct RealIndex {
    RowPointer map;
    std::uint32_t root = 0;
};

struct TableDef {
    std::string name;
    std::uint32_t page = 0;
    std::vector<std::uint32_t> chain;  // its definition pages, first included
    std::uint32_t storedRows = 0;
    std::uint32_t maxColumns = 0, varColumns = 0;
    std::vector<Column> columns;
    std::vector<RealIndex> indexes;
    RowPointer ownedMap, freeMap;
    std::vector<RowPointer> columnMaps;  // the owned and free maps of long-value columns
};
// Reads the definition on `page` and its continuation pages. `mayUse(page)` is asked for
// every page of the chain before it is read (the caller's owner bookkeeping); a chain that
// leaves the file, loops, or a block that runs past its end throws Damage.
TableDef ReadTableDef(Pages& pages, std::uint32_t page, const std::string& name,
                      const std::function<void(std::uint32_t)>& mayUse);

// The row a moved row's slot leads to, and its page; `cur` and `at` name it on return.
// Throws Damage when the move leaves the file or the table, or loops.
Bytes FollowMoved(Pages& pages, const TableDef& t, Bytes page, RowPointer& cur, RowSlot& at,
                  Pages::Handle& hold, const Where& where);

// The catalog's own definition page: fixed by the format.
inline constexpr std::uint32_t kCatalogPage = 2;

// The catalog's tables (its rows of type 1), in the order of its pages and rows.
struct CatalogEntry {
    std::string name;
    std::uint32_t page = 0;  // its definition page, which is also its Id
    bool system = false;
};
std::vector<CatalogEntry> ReadCatalog(Pages& pages);

// Text as the format stores it (Jet3: the code page; later: UTF-16, maybe compressed).
std::string DecodeText(Bytes b, const Format& f);

// A usage map: the row that holds it and every page it names. `visit` gets each page
// number; `mapPage` each reference-map page it reads (before reading it).
void ForEachMapPage(Pages& pages, Bytes mapRow, const std::string& where,
                    const std::function<void(std::uint32_t)>& visit,
                    const std::function<void(std::uint32_t)>& mapPage);
// Whether a reference map's page pointer names a map page. Writers leave 0 or a negative
// number (seen: 0xFFFFFF80) in the slots of ranges no map page covers.
inline bool NamesMapPage(std::uint32_t pointer) { return static_cast<std::int32_t>(pointer) > 0; }
// The bytes of the row a map pointer leads to; throws Damage when there is none.
Bytes MapRow(Pages& pages, RowPointer at, const std::string& where, Pages::Handle& keep);

// One entry of an index page: the data row it points at and, on node pages, the child.
struct IndexEntry {
    std::uint32_t offset = 0;  // where its stored bytes start on the page
    RowPointer row;
    std::uint32_t child = 0;
};
std::vector<IndexEntry> IndexEntries(Bytes page, const Format& f, const Where& where);

// A long value's descriptor (12 bytes at the start of the column's bytes).
struct LongValue {
    std::uint32_t length = 0;
    std::uint8_t kind = 0;  // 0x80 inline, 0x40 one row, 0x00 chained
    RowPointer first;
};
LongValue LongValueAt(Bytes b, std::size_t at);

}  // namespace Jet::Detail
