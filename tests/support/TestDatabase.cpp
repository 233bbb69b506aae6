#include "support/TestDatabase.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <vector>

namespace TestDatabase {

namespace {

using Bytes = std::vector<std::uint8_t>;

// The two layouts: the 1997 format's and the one every later version shares.
struct Layout {
    bool jet3;
    std::size_t page, rowCountAt, scrambled, mapBytes;
    std::size_t tdefRowsAt, tdefTypeAt, tdefColumnsStart, columnBlock;
};
Layout LayoutOf(char version) {
    if (version == 0) return {true, 2048, 8, 126, 128, 12, 20, 43, 18};
    return {false, 4096, 12, 128, 64, 16, 40, 63, 25};
}

// Little-endian numbers of `width` bytes, written in place or appended.
void Put(Bytes& b, std::size_t at, std::uint32_t v, int width = 4) {
    for (int i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Append(Bytes& b, std::uint32_t v, int width) {
    b.resize(b.size() + width);
    Put(b, b.size() - width, v, width);
}
// A row pointer: the row in the low byte, the page above it.
std::uint32_t At(std::uint32_t page, std::uint32_t row) { return page << 8 | row; }

// Text as the format stores it: the code page (1252; ASCII here) in 1997, UTF-16 after (from
// UTF-8 of the basic plane).
Bytes Text(const std::string& s, const Layout& l) {
    if (l.jet3) return Bytes(s.begin(), s.end());
    Bytes out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<std::uint8_t>(s[i]);
        const int more = c < 0x80 ? 0 : c < 0xE0 ? 1 : 2;
        std::uint32_t point = more == 0 ? c : c & (more == 1 ? 0x1F : 0x0F);
        for (int k = 1; k <= more; ++k) point = point << 6 | (s[i + k] & 0x3F);
        i += 1 + more;
        out.push_back(static_cast<std::uint8_t>(point));
        out.push_back(static_cast<std::uint8_t>(point >> 8));
    }
    return out;
}

// The header's scrambled range is the fixed-key RC4 keystream laid over the plain bytes.
void Scramble(std::uint8_t* bytes, std::size_t count) {
    const std::uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    std::array<std::uint8_t, 256> s;
    for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % 4]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (std::size_t n = 0, i = 0, j = 0; n < count; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        bytes[n] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

Bytes HeaderPage(char version, const Layout& l) {
    Bytes p(l.page, 0);
    p[1] = 1;
    const std::string signature = version <= 1 ? "Standard Jet DB" : "Standard ACE DB";
    std::copy(signature.begin(), signature.end(), p.begin() + 4);
    p[0x14] = static_cast<std::uint8_t>(version);
    Put(p, 0x3C, 1252, 2);                   // code page
    Put(p, l.jet3 ? 0x3A : 0x6E, 0x409, 2);  // sort order: General
    // The database key at 0x3E stays 0: not encoded. A creation date of 0 leaves the password
    // area's mask 0, so an empty password reads as zeros.
    Scramble(p.data() + 0x18, l.scrambled);
    return p;
}

// A data page of `owner` holding `rows`, the first at the page's end.
Bytes DataPage(std::uint32_t owner, const std::vector<Bytes>& rows, const Layout& l) {
    Bytes p(l.page, 0);
    p[0] = 0x01;
    p[1] = 0x01;
    Put(p, 4, owner);
    Put(p, l.rowCountAt, static_cast<std::uint32_t>(rows.size()), 2);
    std::size_t start = l.page;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        start -= rows[i].size();
        std::copy(rows[i].begin(), rows[i].end(), p.begin() + static_cast<std::ptrdiff_t>(start));
        Put(p, l.rowCountAt + 2 + 2 * i, static_cast<std::uint32_t>(start), 2);
    }
    const std::size_t tableEnd = l.rowCountAt + 2 + 2 * rows.size();
    if (tableEnd > start) throw std::logic_error("test database: too many rows for a page");
    Put(p, 2, static_cast<std::uint32_t>(start - tableEnd), 2);
    return p;
}

// An inline usage map starting at page 0 whose bits are the pages given.
Bytes InlineMap(const std::vector<std::uint64_t>& pages, const Layout& l) {
    Bytes m(5 + l.mapBytes, 0);
    for (const std::uint64_t page : pages) {
        if (page >= l.mapBytes * 8) throw std::logic_error("test database: map too small");
        m[5 + page / 8] |= static_cast<std::uint8_t>(1 << (page % 8));
    }
    return m;
}

struct Column {
    std::uint8_t type;
    std::string name;
    std::uint16_t length;  // bytes; 0 for long values
    bool fixed;
};

// A one-page table definition with no indexes. `longMaps` gives, for each long-value column,
// its owned and free map pointers.
Bytes DefinitionPage(bool system, std::uint32_t rows, const std::vector<Column>& columns,
                     std::uint32_t ownedMap, std::uint32_t freeMap,
                     const std::vector<std::array<std::uint32_t, 3>>& longMaps, const Layout& l) {
    Bytes p(l.tdefColumnsStart, 0);
    p[0] = 0x02;
    p[1] = 0x01;
    if (l.jet3) {
        p[2] = 'V';
        p[3] = 'C';
    } else {
        Put(p, 12, 0x659);
    }
    Put(p, l.tdefRowsAt, rows);
    p[l.tdefTypeAt] = system ? 0x53 : 0x4E;
    std::uint32_t vars = 0;
    for (const Column& c : columns) vars += c.fixed ? 0 : 1;
    const auto count = static_cast<std::uint32_t>(columns.size());
    Put(p, l.tdefTypeAt + 1, count, 2);  // most columns a row has had
    Put(p, l.tdefTypeAt + 3, vars, 2);
    Put(p, l.tdefTypeAt + 5, count, 2);
    Put(p, l.tdefTypeAt + 15, ownedMap);
    Put(p, l.tdefTypeAt + 19, freeMap);

    std::uint32_t fixedOffset = 0, varIndex = 0;
    for (std::uint16_t number = 0; number < columns.size(); ++number) {
        const Column& c = columns[number];
        Bytes d(l.columnBlock, 0);
        d[0] = c.type;
        const std::size_t n = l.jet3 ? 1 : 5;  // the column number, then its place among
        Put(d, n, number, 2);                  // the variable ones, then the number again
        Put(d, n + 2, varIndex, 2);
        Put(d, n + 4, number, 2);
        if (l.jet3) {
            Put(d, 9, 0x409, 2);
            Put(d, 11, 1252, 2);
        } else {
            Put(d, 1, 0x659);
            Put(d, 11, 0x409, 2);
        }
        d[l.jet3 ? 13 : 15] = c.fixed ? 0x13 : 0x12;
        Put(d, l.columnBlock - 4, c.fixed ? fixedOffset : 0, 2);
        Put(d, l.columnBlock - 2, c.length, 2);
        (c.fixed ? fixedOffset : varIndex) += c.fixed ? c.length : 1;
        p.insert(p.end(), d.begin(), d.end());
    }
    for (const Column& c : columns) {
        const Bytes name = Text(c.name, l);
        Append(p, static_cast<std::uint32_t>(name.size()), l.jet3 ? 1 : 2);
        p.insert(p.end(), name.begin(), name.end());
    }
    for (const auto& [column, owned, free] : longMaps) {
        Append(p, column, 2);
        Append(p, owned, 4);
        Append(p, free, 4);
    }
    Append(p, 0xFFFF, 2);
    const std::size_t used = p.size();
    Put(p, 8, static_cast<std::uint32_t>(used));
    if (!l.jet3) Put(p, 2, static_cast<std::uint32_t>(l.page - used - 8), 2);
    p.resize(l.page, 0);
    return p;
}

// A row of fixed columns (already laid out) and variable ones (absent: null), with the null
// mask over all `columns`; `present` says which columns are not null.
Bytes Row(const Bytes& fixed, const std::vector<Bytes>& vars, std::uint32_t columns,
          const std::vector<bool>& present, const Layout& l) {
    Bytes r;
    Append(r, columns, l.jet3 ? 1 : 2);
    r.insert(r.end(), fixed.begin(), fixed.end());
    std::vector<std::uint32_t> offsets;
    for (const Bytes& v : vars) {
        offsets.push_back(static_cast<std::uint32_t>(r.size()));
        r.insert(r.end(), v.begin(), v.end());
    }
    offsets.push_back(static_cast<std::uint32_t>(r.size()));  // where the variable data ends
    // The offsets from the last (the end) to the first, then their count.
    for (auto it = offsets.rbegin(); it != offsets.rend(); ++it) Append(r, *it, l.jet3 ? 1 : 2);
    Append(r, static_cast<std::uint32_t>(vars.size()), l.jet3 ? 1 : 2);
    Bytes mask((columns + 7) / 8, 0);
    for (std::uint32_t i = 0; i < columns; ++i) {
        if (present[i]) mask[i / 8] |= static_cast<std::uint8_t>(1 << (i % 8));
    }
    r.insert(r.end(), mask.begin(), mask.end());
    return r;
}

// The rows of the catalog: the container of the tables, the catalog itself and the user table.
Bytes CatalogRow(std::uint32_t id, std::uint32_t parent, const std::string& name,
                 std::uint16_t type, std::uint32_t flags, const Layout& l) {
    Bytes fixed(14, 0);
    Put(fixed, 0, id);
    Put(fixed, 4, parent);
    Put(fixed, 8, type, 2);
    Put(fixed, 10, flags);
    return Row(fixed, {Text(name, l), {}}, 6, {true, true, true, true, true, false}, l);
}

int DataPages(int rows) { return std::max(1, (rows + kRowsPerPage - 1) / kRowsPerPage); }

// The pages one map page of a reference map covers.
std::uint64_t MapPageReach(const Layout& l) { return (l.page - 4) * 8; }

// Where the table's rows page `i` lies.
std::uint64_t RowsPage(const Shape& shape, int i) {
    if (!shape.referenceMaps || i == 0) return kFirstRowsPage + i;
    return 2 * MapPageReach(LayoutOf(shape.version)) + i - 1;
}

// A map page: the bits of the pages given, from the first page of its reach.
Bytes MapPage(std::uint64_t first, const std::vector<std::uint64_t>& pages, const Layout& l) {
    Bytes p(l.page, 0);
    p[0] = 0x05;
    p[1] = 0x01;
    for (const std::uint64_t page : pages) {
        p[4 + (page - first) / 8] |= static_cast<std::uint8_t>(1 << ((page - first) % 8));
    }
    return p;
}

// A reference map with 25 slots for map page numbers; unused slots hold `unused`.
Bytes ReferenceMap(const std::vector<std::pair<int, std::uint32_t>>& slots, std::uint32_t unused) {
    Bytes m(1 + 4 * 25, 0);
    m[0] = 0x01;
    for (int k = 0; k < 25; ++k) Put(m, 1 + 4 * k, unused);
    for (const auto& [k, page] : slots) Put(m, 1 + 4 * k, page);
    return m;
}

}  // namespace

std::size_t PageSize(char version) { return LayoutOf(version).page; }

std::uint64_t UsedPages(const Shape& shape) {
    // With reference maps, the near map page follows the first rows page, the far one the last.
    return RowsPage(shape, DataPages(shape.rows) - 1) + 1 + (shape.referenceMaps ? 1 : 0);
}

std::string Make(const Shape& shape) {
    const Layout l = LayoutOf(shape.version);
    const std::uint64_t used = UsedPages(shape);
    const std::uint64_t total = std::max(used, shape.pages);
    const std::uint16_t textLength = l.jet3 ? 255 : 510;
    std::vector<Bytes> pages;
    pages.push_back(HeaderPage(shape.version, l));
    std::vector<std::pair<std::uint64_t, Bytes>> placed;

    // Page 1: the database-wide map, whose set bits are the free pages: every page from the
    // end of the used ones to the end of its reach (the pages beyond count as free).
    std::vector<std::uint64_t> free;
    for (std::uint64_t page = used; page < l.mapBytes * 8; ++page) free.push_back(page);
    Bytes global = shape.referenceMaps ? ReferenceMap({{24, 0xFFFFFF80}}, 0) : InlineMap(free, l);
    pages.push_back(DataPage(1, {global, InlineMap({}, l)}, l));

    // The catalog: maps in rows 0-1 of the maps page, its long-value column's in rows 2-3.
    const std::vector<Column> catalog = {
        {0x04, "Id", 4, true},   {0x04, "ParentId", 4, true}, {0x0A, "Name", textLength, false},
        {0x03, "Type", 2, true}, {0x04, "Flags", 4, true},    {0x0B, "LvProp", 0, false}};
    pages.push_back(DefinitionPage(true, 3, catalog, At(kMapsPage, 0), At(kMapsPage, 1),
                                   {{5, At(kMapsPage, 2), At(kMapsPage, 3)}}, l));
    const std::uint32_t tables = 0x0F000001;
    pages.push_back(DataPage(kCatalogPage,
                             {CatalogRow(tables, 0x0F000000, "Tables", 3, 0, l),
                              CatalogRow(kCatalogPage, tables, "MSysObjects", 1, 0x80000000, l),
                              CatalogRow(kTablePage, tables, shape.table, 1, 0, l)},
                             l));

    std::vector<std::uint64_t> tablePages;
    for (int i = 0; i < DataPages(shape.rows); ++i) tablePages.push_back(RowsPage(shape, i));
    Bytes owned;
    if (!shape.referenceMaps) {
        owned = InlineMap(tablePages, l);
    } else {
        const std::uint64_t reach = MapPageReach(l), near = kFirstRowsPage + 1,
                            far = UsedPages(shape) - 1;
        owned = ReferenceMap({{0, near}, {2, static_cast<std::uint32_t>(far)}}, 0);
        placed.emplace_back(near, MapPage(0, {kFirstRowsPage}, l));
        placed.emplace_back(
            far, MapPage(2 * reach, std::vector(tablePages.begin() + 1, tablePages.end()), l));
    }
    pages.push_back(DataPage(0,
                             {InlineMap({kCatalogRowsPage}, l), InlineMap({}, l), InlineMap({}, l),
                              InlineMap({}, l), owned, InlineMap({}, l)},
                             l));

    const std::vector<Column> table = {{0x04, "Id", 4, true}, {0x0A, "Name", textLength, false}};
    pages.push_back(DefinitionPage(false, static_cast<std::uint32_t>(shape.rows), table,
                                   At(kMapsPage, 4), At(kMapsPage, 5), {}, l));
    for (int first = 0; first == 0 || first < shape.rows; first += kRowsPerPage) {
        std::vector<Bytes> rows;
        for (int id = first + 1; id <= std::min(shape.rows, first + kRowsPerPage); ++id) {
            Bytes fixed(4, 0);
            Put(fixed, 0, static_cast<std::uint32_t>(id));
            rows.push_back(Row(fixed, {Text("Item " + std::to_string(id), l)}, 2, {true, true}, l));
        }
        const Bytes page = DataPage(kTablePage, rows, l);
        if (first == 0) {
            pages.push_back(page);
        } else {
            placed.emplace_back(RowsPage(shape, first / kRowsPerPage), page);
        }
    }
    for (std::size_t i = 0; i < pages.size(); ++i) placed.emplace_back(i, pages[i]);

    std::string bytes(total * l.page, '\0');
    for (const auto& [at, page] : placed) {
        std::copy(page.begin(), page.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(at * l.page));
    }
    return bytes;
}

void DeleteRow(std::string& bytes, int row, char version) {
    const Layout l = LayoutOf(version);
    const std::size_t at = (kFirstRowsPage + row / kRowsPerPage) * l.page + l.rowCountAt + 2 +
                           2 * static_cast<std::size_t>(row % kRowsPerPage);
    bytes[at + 1] = static_cast<char>(bytes[at + 1] | 0x80);
}

}  // namespace TestDatabase
