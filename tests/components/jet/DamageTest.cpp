// Damage of one kind each, made in copies of the real databases at places the reader itself
// finds: the check must call each one damaged and name the table and the page, and the engine
// the program uses must refuse it and leave its folder as it was.
#include <gmock/gmock.h>

#include <functional>
#include <optional>
#include <random>

#include "components/DatabaseEngine.h"
#include "components/jet/JetTestSupport.h"
#include "components/jet/Reader.h"
#include "components/posix/PosixTestSupport.h"

namespace JetTest {

namespace {

using namespace Jet::Detail;
using testing::HasSubstr;

// What a planted fault must be reported as.
struct Expect {
    std::string table;
    std::uint32_t page = 0;
};

// A real database opened with the reader, for finding places to damage.
struct Db {
    std::vector<std::uint8_t> bytes;
    Jet::MemoryPageSource source;
    Header header;
    Pages pages;
    std::vector<CatalogEntry> catalog;
    explicit Db(std::vector<std::uint8_t> b)
        : bytes(std::move(b)),
          source(bytes),
          header(ReadHeader(source)),
          pages(source, header),
          catalog(ReadCatalog(pages)) {}
    std::uint32_t PageSize() const { return header.format.pageSize; }
    std::size_t At(std::uint32_t page, std::size_t offset) const {
        return std::size_t{page} * PageSize() + offset;
    }
    void Put(std::size_t at, std::uint32_t value, int bytesLong) {
        for (int i = 0; i < bytesLong; ++i)
            bytes[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
    }
    TableDef Def(const CatalogEntry& e) {
        return ReadTableDef(pages, e.page, e.name, [](std::uint32_t) {});
    }
    std::vector<std::uint32_t> DataPages(const TableDef& t) {
        std::vector<std::uint32_t> out;
        Pages::Handle keep;
        ForEachMapPage(
            pages, MapRow(pages, t.ownedMap, "", keep), "",
            [&](std::uint32_t p) { out.push_back(p); }, [](std::uint32_t) {});
        return out;
    }
    std::size_t RowOffsetAt(std::uint32_t page, std::uint32_t row) const {
        return At(page, header.format.rowCountAt + 2 + 2 * row);
    }
    // Calls `visit` with every live row that is not moved, until it returns true.
    bool ForEachRow(const std::function<bool(const CatalogEntry&, const TableDef&, std::uint32_t,
                                             std::uint32_t, const RowSlot&)>& visit,
                    bool userTablesOnly) {
        for (const CatalogEntry& e : catalog) {
            if (userTablesOnly && e.system) continue;
            const TableDef t = Def(e);
            for (std::uint32_t p : DataPages(t)) {
                const auto page = pages.Get(p);
                const auto slots = RowSlots(*page, header.format, "");
                for (std::uint32_t r = 0; r < slots.size(); ++r) {
                    if (!slots[r].deleted && !slots[r].overflow && visit(e, t, p, r, slots[r])) {
                        return true;
                    }
                }
            }
        }
        return false;
    }
    // The first long value kept outside its row: in one row or chained over two rows at least.
    std::optional<std::pair<Expect, std::size_t>> LongValueOutside(bool chainedOnly) {
        std::optional<std::pair<Expect, std::size_t>> found;
        ForEachRow(
            [&](const CatalogEntry& e, const TableDef& t, std::uint32_t p, std::uint32_t,
                const RowSlot& slot) {
                const auto page = pages.Get(p);
                for (const Field& f : RowFields(*page, header.format, t, slot, "")) {
                    if (!f.column->LongValue() || f.end - f.start < 12) continue;
                    const LongValue lv = LongValueAt(*page, f.start);
                    RowSlot chunk;
                    const bool twoChunks =
                        lv.kind == 0x00 && lv.first.page < pages.Count() &&
                        RowAt(*pages.Get(lv.first.page), header.format, lv.first.row, chunk) &&
                        chunk.end - chunk.start - 4 < lv.length;
                    if (twoChunks || (!chainedOnly && lv.kind == 0x40)) {
                        found = {{e.name, p}, At(p, f.start)};
                        return true;
                    }
                }
                return false;
            },
            false);
        return found;
    }
};

using Plant = std::function<std::optional<Expect>(Db&)>;

std::optional<Expect> FirstUserRow(Db& db, std::uint32_t& row) {
    std::optional<Expect> found;
    db.ForEachRow(
        [&](const CatalogEntry& e, const TableDef&, std::uint32_t p, std::uint32_t r,
            const RowSlot&) {
            found = Expect{e.name, p};
            row = r;
            return true;
        },
        true);
    return found;
}

const std::vector<std::pair<std::string, Plant>> kPlants = {
    {"the catalog's definition page is not one",
     [](Db& db) -> std::optional<Expect> {
         db.bytes[db.At(2, 0)] = 0x01;
         return Expect{"MSysObjects", 2};
     }},
    {"a table's definition pages lead round in a loop",
     [](Db& db) -> std::optional<Expect> {
         for (const CatalogEntry& e : db.catalog) {
             if (!e.system) db.Put(db.At(e.page, 4), e.page, 4);
             if (!e.system) return Expect{e.name, e.page};
         }
         return {};
     }},
    {"a page of a table's map belongs to another table",
     [](Db& db) -> std::optional<Expect> {
         std::uint32_t row = 0;
         const auto e = FirstUserRow(db, row);
         if (e) db.Put(db.At(e->page, 4), 2, 4);
         return e;
     }},
    {"a page is claimed by two tables",
     [](Db& db) -> std::optional<Expect> {
         std::uint32_t row = 0;
         const auto a = FirstUserRow(db, row);
         for (const CatalogEntry& b : db.catalog) {
             if (!a || b.name == a->table) continue;
             const RowPointer map = db.Def(b).ownedMap;
             RowSlot slot;
             const auto host = db.pages.Get(map.page);
             if (!RowAt(*host, db.header.format, map.row, slot) || (*host)[slot.start] != 0)
                 continue;
             const std::uint32_t bit = a->page - U32(*host, slot.start + 1);
             if (bit >= 8 * (slot.end - slot.start - 5)) continue;
             db.bytes[db.At(map.page, slot.start + 5 + bit / 8)] |=
                 static_cast<std::uint8_t>(1 << bit % 8);
             return Expect{b.name, a->page};
         }
         return {};
     }},
    {"a live page is marked free in the database's map",
     [](Db& db) -> std::optional<Expect> {
         std::uint32_t row = 0;
         const auto e = FirstUserRow(db, row);
         RowSlot map;
         const auto page1 = db.pages.Get(1);
         if (!e || !RowAt(*page1, db.header.format, 0, map) || (*page1)[map.start] != 0) return {};
         const std::uint32_t bit = e->page - U32(*page1, map.start + 1);
         db.bytes[db.At(1, map.start + 5 + bit / 8)] |= static_cast<std::uint8_t>(1 << bit % 8);
         return e;
     }},
    {"a row starts past the end of its page",
     [](Db& db) -> std::optional<Expect> {
         std::uint32_t row = 0;
         const auto e = FirstUserRow(db, row);
         if (e) db.bytes[db.RowOffsetAt(e->page, row) + 1] |= 0x1F;
         if (e) db.bytes[db.RowOffsetAt(e->page, row)] = 0xFF;
         return e;
     }},
    {"a long value leads past the end of the file",
     [](Db& db) -> std::optional<Expect> {
         const auto lv = db.LongValueOutside(false);
         if (lv) db.Put(lv->second + 5, db.pages.Count() + 7, 3);
         return lv ? std::optional(lv->first) : std::nullopt;
     }},
    {"a long value's chain leads back to itself",
     [](Db& db) -> std::optional<Expect> {
         const auto lv = db.LongValueOutside(true);
         if (!lv) return {};
         const RowPointer first = RowPointerAt(db.bytes, lv->second + 4);
         RowSlot chunk;
         RowAt(*db.pages.Get(first.page), db.header.format, first.row, chunk);
         db.bytes[db.At(first.page, chunk.start)] = static_cast<std::uint8_t>(first.row);
         db.Put(db.At(first.page, chunk.start + 1), first.page, 3);
         return lv->first;
     }},
    {"a moved row leads past the end of the file",
     [](Db& db) -> std::optional<Expect> {
         for (const CatalogEntry& e : db.catalog) {
             for (std::uint32_t p : db.DataPages(db.Def(e))) {
                 for (const RowSlot& slot : RowSlots(*db.pages.Get(p), db.header.format, "")) {
                     if (!slot.overflow || slot.deleted) continue;
                     db.Put(db.At(p, slot.start + 1), db.pages.Count() + 3, 3);
                     return Expect{e.name, p};
                 }
             }
         }
         return {};
     }},
    {"an index page belongs to another table",
     [](Db& db) -> std::optional<Expect> {
         for (const CatalogEntry& e : db.catalog) {
             const auto def = db.Def(e);
             if (e.system || def.indexes.empty()) continue;
             db.Put(db.At(def.indexes[0].root, 4), 2, 4);
             return Expect{e.name, def.indexes[0].root};
         }
         return {};
     }},
    {"an index entry points at a deleted row",
     [](Db& db) -> std::optional<Expect> {
         for (const CatalogEntry& e : db.catalog) {
             if (e.system) continue;
             for (const RealIndex& index : db.Def(e).indexes) {
                 std::uint32_t p = index.root;
                 while (db.pages.Get(p)->at(0) == 0x03) {
                     p = IndexEntries(*db.pages.Get(p), db.header.format, "").front().child;
                 }
                 const auto entries = IndexEntries(*db.pages.Get(p), db.header.format, "");
                 if (entries.empty()) continue;
                 db.bytes[db.RowOffsetAt(entries[0].row.page, entries[0].row.row) + 1] |= 0x80;
                 return Expect{e.name, p};
             }
         }
         return {};
     }},
    {"the last page in use is cut off",
     [](Db& db) -> std::optional<Expect> {
         RowSlot map;
         const auto page1 = db.pages.Get(1);
         if (!RowAt(*page1, db.header.format, 0, map) || (*page1)[map.start] != 0) return {};
         const std::uint32_t start = U32(*page1, map.start + 1);
         std::uint32_t last = 0;  // the highest page the map calls used
         for (std::uint32_t bit = 0; bit < 8 * (map.end - map.start - 5); ++bit) {
             const bool isFree = (*page1)[map.start + 5 + bit / 8] >> bit % 8 & 1;
             if (!isFree && start + bit < db.pages.Count()) last = start + bit;
         }
         const auto page = db.pages.Get(last);
         const std::uint8_t type = (*page)[0];
         const std::uint32_t owner = type == 0x02 ? last : U32(*page, 4);
         for (const CatalogEntry& e : db.catalog) {
             if (e.page == owner && type >= 0x01 && type <= 0x04) {
                 db.bytes.resize(std::size_t{last} * db.PageSize());
                 return Expect{e.name, last};
             }
         }
         return {};
     }},
};

bool NamesPage(const std::string& finding, std::uint32_t page) {
    const std::string name = "page " + std::to_string(page);
    for (auto at = finding.find(name); at != std::string::npos; at = finding.find(name, at + 1)) {
        const std::size_t end = at + name.size();
        if (end == finding.size() || !std::isdigit(static_cast<unsigned char>(finding[end]))) {
            return true;
        }
    }
    return false;
}

TEST(JetDamage, EachPlantedFaultIsDamageNamingItsTableAndPage) {
    const auto files = RealDatabases();
    if (files.empty()) GTEST_SKIP() << "skipped: ../shared/testdata/databases is missing";
    const auto engine =
        Components::CreatePlatformInstance(Components::Tag<Components::DatabaseEngine>{});
    for (const auto& [what, plant] : kPlants) {
        int planted = 0;
        for (const auto& file : files) {
            Db db(ReadBytes(file));
            const auto expect = plant(db);
            if (!expect) continue;
            ++planted;
            const Jet::CheckReport report = Check(db.bytes);
            EXPECT_EQ(report.Outcome, Jet::Verdict::kDamaged) << what << " in " << file;
            EXPECT_THAT(report.Finding, HasSubstr("table " + expect->table))
                << what << " in " << file;
            EXPECT_TRUE(NamesPage(report.Finding, expect->page))
                << what << " in " << file << ": page " << expect->page << ": " << report.Finding;
            if (planted > 1) continue;  // the engine the program uses refuses it, before it writes
            PosixTest::ScratchFolder scratch;
            const std::string path = scratch / "Shop.mdb", bytes(db.bytes.begin(), db.bytes.end());
            PosixTest::WriteFile(path, bytes);
            const auto raised =
                PosixTest::Raised([&] { engine->CompactDatabase(path, scratch / "copy.MDB"); });
            EXPECT_EQ(raised ? raised->Number() : 0, 3049) << what;
            EXPECT_THAT(raised ? raised->Description() : "",
                        HasSubstr("corrupt: " + report.Finding));
            EXPECT_EQ(scratch.Names(), std::vector<std::string>{"Shop.mdb"}) << what;
            EXPECT_TRUE(PosixTest::ReadFile(path) == bytes) << what;
        }
        EXPECT_GT(planted, 0) << "no real database has a place for: " << what;
    }
}

// Usage maps may name their pages through map pages instead of holding the bits themselves:
// turning the database-wide map and a table's map into such maps changes nothing but the
// two pages they now use.
TEST(JetDamage, MapsByReferenceReadAsInlineOnes) {
    const auto files = RealDatabases();
    if (files.empty()) GTEST_SKIP() << "skipped: ../shared/testdata/databases is missing";
    int converted = 0;
    for (const auto& file : files) {
        Db db(ReadBytes(file));
        const Jet::CheckReport plain = Check(db.bytes);
        RowSlot global;
        const auto page1 = db.pages.Get(1);
        RowAt(*page1, db.header.format, 0, global);
        const std::uint32_t start = U32(*page1, global.start + 1);
        const std::uint32_t reach = 8 * (global.end - global.start - 5);
        const auto isFree = [&](std::uint32_t p) {
            return p < start || p >= start + reach ||
                   ((*page1)[global.start + 5 + (p - start) / 8] >> (p - start) % 8 & 1) != 0;
        };
        std::vector<std::uint32_t> spare;
        for (std::uint32_t p = 3; p < db.pages.Count() && spare.size() < 2; ++p) {
            if (isFree(p)) spare.push_back(p);
        }
        const auto user = std::find_if(db.catalog.begin(), db.catalog.end(),
                                       [](const CatalogEntry& e) { return !e.system; });
        if (spare.size() < 2 || user == db.catalog.end()) continue;
        const TableDef t = db.Def(*user);
        const auto owned = db.DataPages(t);
        const auto mapPage = [&](std::uint32_t at, const std::function<bool(std::uint32_t)>& on) {
            std::fill_n(db.bytes.begin() + db.At(at, 0), db.PageSize(), 0);
            db.Put(db.At(at, 0), 0x0105, 4);
            for (std::uint32_t p = 0; p < db.pages.Count(); ++p) {
                if (on(p)) db.bytes[db.At(at, 4 + p / 8)] |= static_cast<std::uint8_t>(1 << p % 8);
            }
        };
        const auto pointTo = [&](std::uint32_t hostPage, std::uint32_t row, std::uint32_t at) {
            RowSlot slot;
            RowAt(*db.pages.Get(hostPage), db.header.format, row, slot);
            std::fill_n(db.bytes.begin() + db.At(hostPage, slot.start), slot.end - slot.start, 0);
            db.bytes[db.At(hostPage, slot.start)] = 1;
            db.Put(db.At(hostPage, slot.start + 1), at, 4);
        };
        mapPage(spare[0],
                [&](std::uint32_t p) { return isFree(p) && p != spare[0] && p != spare[1]; });
        mapPage(spare[1], [&](std::uint32_t p) {
            return std::find(owned.begin(), owned.end(), p) != owned.end();
        });
        pointTo(1, 0, spare[0]);
        pointTo(t.ownedMap.page, t.ownedMap.row, spare[1]);
        const Jet::CheckReport referenced = Check(db.bytes);
        ++converted;
        EXPECT_EQ(referenced.Outcome, Jet::Verdict::kSound) << file << referenced.Finding;
        EXPECT_EQ(referenced.Pages.InUse, plain.Pages.InUse + 2) << file;
        EXPECT_EQ(referenced.Pages.Unreferenced, plain.Pages.Unreferenced) << file;
        ASSERT_EQ(referenced.Tables.size(), plain.Tables.size()) << file;
        for (std::size_t i = 0; i < plain.Tables.size(); ++i) {
            EXPECT_EQ(referenced.Tables[i].LiveRows, plain.Tables[i].LiveRows) << file;
        }
    }
    EXPECT_GT(converted, 0);
}

// Whatever the bytes, the check ends, stays inside the file and reads no page more than
// twice (the sanitizer build runs this too).
TEST(JetDamage, RandomDamageIsNeverReadOutsideTheFile) {
    const auto files = RealDatabases();
    if (files.empty()) GTEST_SKIP() << "skipped: ../shared/testdata/databases is missing";
    std::mt19937 random(20261207);
    for (const char* name : {"adox_jet4.mdb", "delTestV1997.mdb", "testV2010.accdb"}) {
        const auto original = ReadBytes(files.front().parent_path() / name);
        const std::uint32_t pageSize = original[0x14] == 0 ? 2048 : 4096;
        for (int round = 0; round < 150; ++round) {
            auto bytes = original;
            const int changes = 1 + static_cast<int>(random() % 12);
            for (int i = 0; i < changes; ++i) {
                const std::size_t at = pageSize + random() % (bytes.size() - pageSize);
                bytes[at] = static_cast<std::uint8_t>(random());
            }
            const CountingSource source(bytes, pageSize);
            const Jet::CheckReport report = Jet::CheckDatabase(source);
            EXPECT_NE(report.Outcome, Jet::Verdict::kUnreadable) << name << ": " << report.Finding;
            EXPECT_LE(source.MostReadsOfOnePage(), 2) << name;
        }
    }
}

}  // namespace

}  // namespace JetTest
