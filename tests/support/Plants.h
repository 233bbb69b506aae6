// Where damage can be planted in a real database: the first place for each kind, found the
// way the reader finds them, so that a test can plant it and see the reader name it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "components/jet/Rows.h"
#include "support/WholeRun.h"

namespace Plants {

namespace fs = std::filesystem;
using namespace Jet::Detail;

inline std::vector<std::uint8_t> ReadBytes(const fs::path& file) {
    const std::string bytes = WholeRun::ReadFile(file);
    return {bytes.begin(), bytes.end()};
}

// A fault planted in a copy of a real database: the table and page it must be reported on,
// and what is written at byte `at`: `value`, `n` bytes long; or ORed into it (n = 0); or the
// file is cut off there (n < 0). A fault in a row is reported on that row too.
struct Plant {
    std::string table;
    std::uint32_t page;
    std::size_t at;
    std::uint32_t value;
    int n;
    std::optional<std::uint32_t> row = {};
    std::string finding = {};  // when set, the finding word for word
};

// A real database opened with the reader, and the first place for each kind of damage in it,
// found the way the reader finds them.
struct Db {
    std::vector<std::uint8_t> bytes;
    Jet::MemoryPageSource source{bytes};
    Header header{ReadHeader(source)};
    Format f{header.format};
    Pages pages{source, header};
    std::vector<CatalogEntry> catalog{ReadCatalog(pages)};
    std::optional<TableDef> user;  // the first user table with a live row
    std::map<std::string, Plant> plants;

    explicit Db(const fs::path& file) : bytes(ReadBytes(file)) {
        const auto add = [&](const char* kind, Plant p) { plants.emplace(kind, p); };
        add("catalog definition not one", {"MSysObjects", 2, At(2), 1, 1});
        for (const CatalogEntry& e : catalog) {
            TableDef t;
            try {
                t = Def(e);
            } catch (const NotChecked&) {
                continue;  // a column type the reader does not know: no place to plant
            }
            if (!e.system && !t.indexes.empty()) {
                std::uint32_t p = t.indexes[0].root;
                add("index page of another table", {e.name, p, At(p, 4), 2, 4});
                while (pages.Get(p)->at(0) == 0x03) p = IndexEntries(*pages.Get(p), f, "")[0].child;
                for (const IndexEntry& x : IndexEntries(*pages.Get(p), f, ""))
                    add("index entry at a deleted row",
                        {e.name, p, At(x.row.page, f.rowCountAt + 3 + 2 * x.row.row), 0x80, 0});
            }
            for (std::uint32_t p : PagesOf(t.ownedMap)) {
                const auto page = pages.Get(p);
                const auto slots = RowSlots(*page, f, "");
                for (std::uint32_t r = 0; r < slots.size(); ++r) {
                    const RowSlot& s = slots[r];
                    if (s.overflow && !s.deleted)
                        add("moved row past the file",
                            {e.name, p, At(p, s.start + 1), pages.Count() + 3, 3});
                    if (s.deleted || s.overflow) continue;
                    if (!e.system && !user) {
                        user = t;
                        add("definition pages in a loop",
                            {e.name, e.page, At(e.page, 4), e.page, 4});
                        add("rows page of another table", {e.name, p, At(p, 4), 2, 4});
                        add("row past its page",
                            {e.name, p, At(p, f.rowCountAt + 2 + 2 * r), 0x1FFF, 2});
                        if (const auto [at, mask] = Bit({1, 0}, p); mask != 0)
                            add("live page marked free", {e.name, p, at, mask, 0});
                        for (const CatalogEntry& b : catalog) {
                            const auto [at, mask] = Bit(Def(b).ownedMap, p);
                            if (b.name != e.name && mask != 0)
                                add("page claimed twice", {b.name, p, at, mask, 0});
                        }
                    }
                    const std::vector<Field> fields = RowFields(*page, f, t, s, "");
                    const Field* var = nullptr;  // the present variable column stored last
                    for (const Field& x : fields) {
                        if (!x.column->Fixed() && !x.column->LongValue() &&
                            (!var || x.column->varIndex > var->column->varIndex))
                            var = &x;
                    }
                    if (var && !f.jet3 && !e.system &&
                        !plants.count("variable column past its row")) {
                        // Its end moved just past the row, as the full reader reports it.
                        const std::size_t end =
                            s.end - (U16(*page, s.start) + 7) / 8 - 6 - 2 * var->column->varIndex;
                        std::vector<std::uint8_t> bad(page->begin(), page->end());
                        bad[end] = static_cast<std::uint8_t>(s.end - s.start);
                        bad[end + 1] = static_cast<std::uint8_t>((s.end - s.start) >> 8);
                        std::string finding;
                        try {
                            RowFields(bad, f, t, s, Where(e.name, p).Row(r));
                        } catch (const Damage& d) {
                            finding = d.what;
                        }
                        if (!finding.empty())
                            add("variable column past its row",
                                {e.name, p, At(p, end), s.end - s.start, 2, r, finding});
                    }
                    for (const Field& field : fields) {
                        if (!field.column->LongValue() || field.end - field.start < 12) continue;
                        const LongValue lv = LongValueAt(*page, field.start);
                        const RowSlot c =
                            lv.first.page < pages.Count() ? Slot(lv.first) : RowSlot{};
                        const bool chained = lv.kind == 0 && c.end - c.start - 4 < lv.length;
                        if (chained)
                            add("long value chain loop", {e.name, p, At(lv.first.page, c.start),
                                                          lv.first.row | lv.first.page << 8, 4, r});
                        if (chained || lv.kind == 0x40)
                            add("long value past the file",
                                {e.name, p, At(p, field.start + 5), pages.Count() + 7, 3, r});
                    }
                }
            }
        }
        std::uint32_t last = 0;
        for (std::uint32_t p = 0; p < pages.Count(); ++p) last = GloballyFree(p) ? last : p;
        const auto page = pages.Get(last);
        const std::uint32_t owner = (*page)[0] == 0x02 ? last : U32(*page, 4);
        for (const CatalogEntry& e : catalog) {
            if (e.page == owner && (*page)[0] >= 0x01 && (*page)[0] <= 0x04)
                add("last page cut off", {e.name, last, At(last), 0, -1});
        }
    }
    std::size_t At(std::uint32_t page, std::size_t offset = 0) const {
        return std::size_t{page} * f.pageSize + offset;
    }
    void Put(std::size_t at, std::uint32_t value, int n) {
        for (int i = 0; i < n; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
    }
    TableDef Def(const CatalogEntry& e) {
        return ReadTableDef(pages, e.page, e.name, [](std::uint32_t) {});
    }
    RowSlot Slot(RowPointer at) {
        RowSlot s;
        RowAt(*pages.Get(at.page), f, at.row, s);
        return s;
    }
    std::vector<std::uint32_t> PagesOf(RowPointer map) {
        std::vector<std::uint32_t> out;
        Pages::Handle keep;
        ForEachMapPage(
            pages, MapRow(pages, map, "", keep), "", [&](std::uint32_t p) { out.push_back(p); },
            [](std::uint32_t) {});
        return out;
    }
    // Where the map of pages held in row `map` keeps the bit of `page`: byte and mask, or a
    // mask of 0 when that map holds no bit for it.
    std::pair<std::size_t, std::uint8_t> Bit(RowPointer map, std::uint32_t page) {
        const RowSlot s = Slot(map);
        const std::size_t at = At(map.page, s.start);
        const std::uint32_t bit = page - U32(bytes, at + 1);
        if (s.end < s.start + 5 || bytes[at] != 0 || bit >= 8 * (s.end - s.start - 5)) return {};
        return {at + 5 + bit / 8, static_cast<std::uint8_t>(1 << bit % 8)};
    }
    bool GloballyFree(std::uint32_t page) {
        const auto [at, mask] = Bit({1, 0}, page);
        return mask == 0 || (bytes[at] & mask) != 0;
    }
};

}  // namespace Plants
