// Grows a real database into a benchmark one of a given size: the data page of a user table
// that holds the most rows is copied onto every page added, the table's map of pages and the
// database's map of free pages become maps of the reference kind that cover the whole file,
// and the table's stored row count grows with the rows copied.
//   grow-database SOURCE TARGET MIB
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "components/jet/PageAccount.h"

namespace {

using namespace Jet::Detail;

struct Failure {
    std::string what;
};

// The data page of table `t` with the most live rows and no moved one; 0 when there is none.
std::uint32_t FullestPage(Pages& pages, const TableDef& t, std::size_t& rows) {
    Pages::Handle keep;
    std::uint32_t best = 0;
    rows = 0;
    ForEachMapPage(
        pages, MapRow(pages, t.ownedMap, "", keep), "",
        [&](std::uint32_t p) {
            const auto page = pages.Get(p);
            if (!IsDataPage(*page) || U32(*page, 4) != t.page) return;
            const auto slots = RowSlots(*page, pages.Fmt(), "");
            if (std::any_of(slots.begin(), slots.end(), [](auto& s) { return s.overflow; })) return;
            const auto live = static_cast<std::size_t>(
                std::count_if(slots.begin(), slots.end(), [](auto& s) { return !s.deleted; }));
            if (live > rows) best = p, rows = live;
        },
        [](std::uint32_t) {});
    return best;
}

void Put16(std::uint8_t* at, std::uint32_t v) { at[0] = v & 0xFF, at[1] = v >> 8 & 0xFF; }
void Put32(std::uint8_t* at, std::uint32_t v) { Put16(at, v & 0xFFFF), Put16(at + 2, v >> 16); }

// Rewrites the map row `at` as a reference map naming `mapPages`, one page per range.
void MakeReferenceMap(std::vector<std::uint8_t>& file, Pages& pages, RowPointer at,
                      const std::vector<std::uint32_t>& mapPages) {
    Pages::Handle keep;
    const Bytes row = MapRow(pages, at, "", keep);
    if (1 + 4 * mapPages.size() > row.size()) throw Failure{"a map row is too short to grow"};
    std::uint8_t* out = file.data() + std::uint64_t{at.page} * pages.Fmt().pageSize +
                        static_cast<std::size_t>(row.data() - keep->data());
    std::fill(out, out + row.size(), 0);
    out[0] = 0x01;
    for (std::size_t k = 0; k < mapPages.size(); ++k) Put32(out + 1 + 4 * k, mapPages[k]);
}

void Grow(const std::string& from, const std::string& to, std::uint64_t mib) {
    std::ifstream in(from, std::ios::binary);
    std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    if (!in.eof() && !in) throw Failure{"it cannot be read"};
    std::vector<std::uint8_t> original = file;
    const Jet::MemoryPageSource source(original);
    const Header header = ReadHeader(source);
    if (header.databaseKey != 0) throw Failure{"it is encoded"};
    const Format& f = header.format;
    Pages pages(source, header);
    TableDef table;
    std::uint32_t best = 0;
    std::size_t rows = 0, tableRows = 0;
    for (const CatalogEntry& e : ReadCatalog(pages)) {
        if (e.system) continue;
        const TableDef t = ReadTableDef(pages, e.page, e.name, [](std::uint32_t) {});
        if (table.name.empty()) table = t;
        const std::uint32_t page = FullestPage(pages, t, rows);
        if (rows > tableRows) table = t, best = page, tableRows = rows;
    }
    if (table.name.empty()) throw Failure{"it has no user table"};
    if (best == 0) throw Failure{"its user tables hold no row to copy"};
    const std::vector<std::uint8_t> model(original.begin() + std::uint64_t{best} * f.pageSize,
                                          original.begin() + std::uint64_t{best + 1} * f.pageSize);
    const std::uint64_t perMap = (f.pageSize - 4) * 8ull, count = mib * 1048576 / f.pageSize;
    const std::uint32_t old = pages.Count();
    const std::uint64_t ranges = (count + perMap - 1) / perMap;
    if (count <= old + 2 * ranges) throw Failure{"the size asked for is too small"};
    PageAccount account(old);
    account.ReadGlobalMap(pages);
    std::vector<std::uint32_t> owned;
    Pages::Handle keep;
    ForEachMapPage(
        pages, MapRow(pages, table.ownedMap, "", keep), "",
        [&](std::uint32_t p) { owned.push_back(p); }, [](std::uint32_t) {});
    // The map pages of the table's map, then those of the database's, then the copied rows.
    file.resize(count * f.pageSize, 0);
    std::vector<std::uint32_t> tableMaps, globalMaps;
    for (std::uint64_t k = 0; k < ranges; ++k) {
        tableMaps.push_back(static_cast<std::uint32_t>(old + k));
        globalMaps.push_back(static_cast<std::uint32_t>(old + ranges + k));
    }
    const auto setBit = [&](const std::vector<std::uint32_t>& maps, std::uint64_t p) {
        file[maps[p / perMap] * std::uint64_t{f.pageSize} + 4 + p % perMap / 8] |=
            1 << (p % perMap % 8);
    };
    for (std::uint32_t m : tableMaps) std::memcpy(&file[m * std::uint64_t{f.pageSize}], "\5\1", 2);
    for (std::uint32_t m : globalMaps) std::memcpy(&file[m * std::uint64_t{f.pageSize}], "\5\1", 2);
    for (std::uint32_t p : owned) setBit(tableMaps, p);
    for (std::uint32_t p = 0; p < old; ++p) {
        if (account.GlobalFree(p)) setBit(globalMaps, p);
    }
    const std::uint64_t first = old + 2 * ranges;
    for (std::uint64_t p = first; p < count; ++p) {
        std::copy(model.begin(), model.end(), file.begin() + p * f.pageSize);
        setBit(tableMaps, p);
    }
    // The database's map row is read from page 1 of the original, untouched by the maps above.
    MakeReferenceMap(file, pages, table.ownedMap, tableMaps);
    MakeReferenceMap(file, pages, {kGlobalMapPage, 0}, globalMaps);
    const std::uint64_t stored = table.storedRows + (count - first) * tableRows;
    if (stored > 0xFFFFFFFFu) throw Failure{"the rows would overflow the stored row count"};
    Put32(&file[std::uint64_t{table.page} * f.pageSize + f.tdefStoredRowsAt],
          static_cast<std::uint32_t>(stored));
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    if (!out.flush()) throw Failure{"'" + to + "' cannot be written"};
    std::cout << table.name << "\t" << stored << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: grow-database SOURCE TARGET MIB\n";
        return 2;
    }
    try {
        Grow(argv[1], argv[2], std::stoull(argv[3]));
        return 0;
    } catch (const Failure& e) {
        std::cerr << "grow-database: " << argv[1] << " cannot be grown: " << e.what << "\n";
    } catch (const Damage& e) {
        std::cerr << "grow-database: " << argv[1] << " is damaged: " << e.what << "\n";
    } catch (const NotChecked& e) {
        std::cerr << "grow-database: " << argv[1] << " cannot be read: " << e.why << "\n";
    } catch (...) {
        std::cerr << "grow-database: " << argv[1] << " cannot be read\n";
    }
    return 1;
}
