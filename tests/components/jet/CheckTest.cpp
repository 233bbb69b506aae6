// The database check on the real databases: sound ones agree with an independent reader
// (mdbtools), also with their maps turned into maps by reference; damage of each kind planted
// at a place the reader itself finds is called damaged naming its table and page, as is a file
// of pages and a part; and no page is read more than twice.
#include <gmock/gmock.h>

#include <map>
#include <sstream>

#include "components/posix/SpareThread.h"
#include "support/Plants.h"

namespace {

namespace fs = std::filesystem;
using namespace Jet::Detail;
using Jet::Verdict;
using Plants::Db;
using Plants::ReadBytes;
using testing::HasSubstr;

std::vector<fs::path> RealDatabases() {
    const fs::path folder = fs::path(TOLVANE_SOURCE_DIR) / "../shared/testdata/databases";
    std::vector<fs::path> files;
    if (fs::is_directory(folder)) files.assign(fs::directory_iterator(folder), {});
    std::sort(files.begin(), files.end());
    return files;
}
#define SKIP_WITHOUT_REAL_DATABASES                                         \
    if (RealDatabases().empty()) {                                          \
        GTEST_SKIP() << "skipped: ../shared/testdata/databases is missing"; \
    }

struct CountingSource : Jet::MemoryPageSource {
    using MemoryPageSource::MemoryPageSource;
    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        most = std::max(most, ++reads[offset]);
        return MemoryPageSource::Read(offset, out);
    }
    mutable std::map<std::uint64_t, int> reads;
    mutable int most = 0;
};

using Counts = std::vector<std::pair<std::string, std::uint64_t>>;
Counts Counted(const Jet::CheckReport& report) {
    Counts counts;
    for (const auto& t : report.Tables) counts.emplace_back(t.Name, t.LiveRows);
    std::sort(counts.begin(), counts.end());
    return counts;
}

// All a report says, as one text.
std::string Said(const Jet::CheckReport& r) {
    std::ostringstream out;
    out << static_cast<int>(r.Outcome) << " " << r.Finding << "\n"
        << r.Pages.Total << " " << r.Pages.InUse << " " << r.Pages.Unreferenced << "\n";
    for (const auto& t : r.Tables) out << t.Name << " " << t.LiveRows << "\n";
    for (const auto& note : r.Notes) out << note << "\n";
    return out.str();
}

// Checked alone and with each batch of pages shared with a second thread, which must say
// the same.
Jet::CheckReport Check(const std::vector<std::uint8_t>& bytes, const fs::path& what) {
    const CountingSource source(bytes);
    Jet::CheckReport report = Jet::CheckDatabase(source);
    EXPECT_LE(source.most, 2) << what << " reads a page more than twice";
    Components::Posix::SpareThread second;
    EXPECT_EQ(Said(Jet::CheckDatabase(Jet::MemoryPageSource(bytes), &second)), Said(report))
        << what;
    return report;
}

// The lines a shell command prints, run with $F and $T set to `file` and `table`.
std::vector<std::string> Lines(const char* command, const fs::path& file,
                               const std::string& table = "") {
    setenv("F", file.c_str(), 1);
    setenv("T", table.c_str(), 1);
    std::vector<std::string> lines;
    std::istringstream text(WholeRun::Shell(command));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

// mdb-count prints the count the table's definition stores, so rows are counted as mdb-json
// writes them, one line a row.
Counts MdbtoolsCounts(const fs::path& file) {
    Counts counts;
    for (const std::string& table : Lines("mdb-tables -S -1 \"$F\" 2>/dev/null", file))
        counts.emplace_back(table, Lines("mdb-json \"$F\" \"$T\" 2>/dev/null", file, table).size());
    std::sort(counts.begin(), counts.end());
    return counts;
}

TEST(JetCheck, RealDatabasesAreSoundWithTheTablesAndRowsMdbtoolsReads) {
    SKIP_WITHOUT_REAL_DATABASES;
    const bool mdbtools =
        std::system("command -v mdb-json >/dev/null && command -v mdb-tables >/dev/null") == 0;
    for (const fs::path& file : RealDatabases()) {
        const Jet::CheckReport report = Check(ReadBytes(file), file);
        // A column type no reader here knows: not checked, never damaged.
        if (file.filename().string().starts_with("unsupportedFields")) {
            EXPECT_EQ(report.Outcome, Verdict::kNotChecked) << file << ": " << report.Finding;
            continue;
        }
        EXPECT_EQ(report.Outcome, Verdict::kSound) << file << ": " << report.Finding;
        if (mdbtools) {
            EXPECT_EQ(Counted(report), MdbtoolsCounts(file)) << file;
        }
    }
    if (!mdbtools) GTEST_SKIP() << "skipped: mdbtools (mdb-tables, mdb-json) is missing";
}

TEST(JetCheck, EachPlantedFaultIsDamageNamingItsTableAndPage) {
    SKIP_WITHOUT_REAL_DATABASES;
    std::map<std::string, int> planted;
    for (const auto& file : RealDatabases()) {
        Db db(file);
        if (Check(db.bytes, file).Outcome != Verdict::kSound) continue;
        for (const auto& [kind, p] : db.plants) {
            auto bytes = db.bytes;
            if (p.n < 0) bytes.resize(p.at);
            if (p.n == 0) bytes[p.at] |= static_cast<std::uint8_t>(p.value);
            for (int i = 0; i < p.n; ++i)
                bytes[p.at + i] = static_cast<std::uint8_t>(p.value >> 8 * i);
            ++planted[kind];
            const Jet::CheckReport report = Check(bytes, file);
            EXPECT_EQ(report.Outcome, Verdict::kDamaged) << kind << " in " << file;
            EXPECT_THAT(report.Finding,
                        testing::AllOf(HasSubstr("table " + p.table),
                                       testing::ContainsRegex("page " + std::to_string(p.page) +
                                                              "([^0-9]|$)")))
                << kind << " in " << file;
            if (p.row) {
                EXPECT_THAT(report.Finding, HasSubstr("row " + std::to_string(*p.row) + ": "))
                    << kind << " in " << file;
            }
            if (!p.finding.empty()) {
                EXPECT_EQ(report.Finding, p.finding) << kind << " in " << file;
            }
        }
    }
    EXPECT_EQ(planted.size(), 13u) << "a kind of damage no real database has a place for";
}

// The cache keeps the pages used last, however they share its buckets: pages 8 apart in turn,
// each with the seven before it looked at again, and every page is read once.
TEST(JetCheck, APageUsedLatelyIsNotReadAgain) {
    std::vector<std::uint8_t> bytes = ReadBytes(TOLVANE_SOURCE_DIR "/tests/support/Shop.mdb");
    bytes.resize(64 * 4096);
    const CountingSource source(bytes);
    Pages pages(source, ReadHeader(Jet::MemoryPageSource(bytes)), 8);
    std::vector<std::uint32_t> order;
    for (std::uint32_t i = 0; i < 64; ++i) order.push_back(i % 8 * 8 + i / 8);
    for (std::size_t i = 0; i < order.size(); ++i) {
        for (std::size_t j = i < 7 ? 0 : i - 7; j <= i; ++j) pages.Get(order[j]);
    }
    EXPECT_EQ(source.most, 1);
    EXPECT_EQ(source.reads.size(), 64u);
}

// Pages and a part: a file cut off or grown mid-page, however sound its pages read, in our own
// database so that it is checked wherever the suite runs.
TEST(JetCheck, WholePagesAndThreeBytesAreDamage) {
    std::vector<std::uint8_t> bytes = ReadBytes(TOLVANE_SOURCE_DIR "/tests/support/Shop.mdb");
    bytes.resize(bytes.size() + 3);
    const Jet::CheckReport report = Check(bytes, "Shop.mdb and 3 bytes");
    EXPECT_EQ(report.Outcome, Verdict::kDamaged) << report.Finding;
    EXPECT_THAT(report.Finding, HasSubstr("is not a whole number of 4096-byte pages"));
}

// A map of pages may name map pages that hold its bits, one for each stretch of pages, as the
// engine writes them for big tables and databases; a slot that is 0 or negative names none.
// The user table's map becomes one whose second map page is two stretches on, with a copy of
// a rows page there (in our own database and those of 2 KiB pages; elsewhere the copy stays
// near, a stretch of 4 KiB pages spans 128 MiB); the map of free pages one whose map page
// holds the free pages, or in our own database one that names no map page at all, as a real
// file had it, so that no page is known to be in use. The copy's rows are read besides the
// others.
TEST(JetCheck, MapsByReferenceAreReadStretchByStretch) {
    std::vector<fs::path> files = RealDatabases();
    files.insert(files.begin(), TOLVANE_SOURCE_DIR "/tests/support/Shop.mdb");
    for (const auto& file : files) {
        Db db(file);
        if (!db.user) continue;
        const bool ours = file.filename() == "Shop.mdb";
        const std::uint32_t end = db.pages.Count(), reach = 8 * (db.f.pageSize - 4);
        const std::uint32_t far = ours || db.f.pageSize == 2048 ? 2 * reach + 3 : end + 3;
        const auto owned = db.PagesOf(db.user->ownedMap);
        std::vector<std::uint8_t> out = db.bytes;
        out.resize(std::max(out.size(), db.At(far + 1)));
        const auto put = [&](std::size_t at, std::uint32_t value) {
            for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
        };
        // The map in row `map` names map page `pages[k]` in slot k, and -128 in its last slot;
        // map page `pages[k]` holds the bits of the pages `on` takes in its stretch.
        const auto reference = [&](RowPointer map, std::vector<std::uint32_t> pages, auto on) {
            const RowSlot s = db.Slot(map);
            const std::size_t at = db.At(map.page, s.start), slots = (s.end - s.start - 1) / 4;
            ASSERT_GT(slots, pages.size()) << file;
            std::fill_n(out.begin() + at, s.end - s.start, 0);
            out[at] = 1;
            put(at + 1 + 4 * (slots - 1), 0xFFFFFF80);
            for (std::uint32_t k = 0; k < pages.size(); ++k) {
                if (pages[k] == 0) continue;
                put(at + 1 + 4 * k, pages[k]);
                std::fill_n(out.begin() + db.At(pages[k]), db.f.pageSize, 0);
                put(db.At(pages[k]), 0x0105);
                for (std::uint32_t p = k * reach, bit = 0; bit < reach && p <= far; ++p, ++bit) {
                    if (on(p)) out[db.At(pages[k], 4 + bit / 8)] |= 1 << bit % 8;
                }
            }
        };
        reference(db.user->ownedMap, {end + 1, 0, end + 2}, [&](std::uint32_t p) {
            return p == far || std::count(owned.begin(), owned.end(), p) > 0;
        });
        std::copy_n(db.bytes.begin() + db.At(owned[0]), db.f.pageSize, out.begin() + db.At(far));
        reference({1, 0}, {ours ? 0 : end}, [&](std::uint32_t p) {
            return (p > end + 2 && p != far) || (p < end && db.GloballyFree(p));
        });

        const Jet::CheckReport plain = Check(db.bytes, file), referenced = Check(out, file);
        EXPECT_EQ(referenced.Outcome, Verdict::kSound) << file << referenced.Finding;
        // In use besides: the three map pages, and the copy where the map of free pages reaches.
        EXPECT_EQ(referenced.Pages.InUse, ours ? 0 : plain.Pages.InUse + (far < reach ? 4 : 3))
            << file;
        Counts counts = Counted(plain);
        for (const RowSlot& s : RowSlots(*db.pages.Get(owned[0]), db.f, "")) {
            for (auto& [table, rows] : counts) rows += table == db.user->name && !s.deleted;
        }
        EXPECT_EQ(Counted(referenced), counts) << file;
    }
}

// A table of many pages, its first one copied past our own database's end, is sound with the
// rows of every copy counted, whichever thread took them. Of two faults in its pages, the one
// first in its map is named, however the other is found: on a page after it of another kind
// (a copy of the catalog's definition), or by the map naming a page past the end of the file.
TEST(JetCheck, TheFirstFaultInATablesMapIsTheOneNamed) {
    Db db(TOLVANE_SOURCE_DIR "/tests/support/Shop.mdb");
    const std::uint32_t first = db.PagesOf(db.user->ownedMap).front(), copies = 40;
    std::uint32_t end = db.pages.Count();
    const Jet::CheckReport plain = Check(db.bytes, "Shop.mdb");
    const auto mark = [&](std::vector<std::uint8_t>& out, std::uint32_t page) {
        const auto [at, mask] = db.Bit(db.user->ownedMap, page);
        const auto [inUse, free] = db.Bit({1, 0}, page);  // in use, not free
        ASSERT_TRUE(mask != 0 && free != 0) << page;
        out[at] |= mask;
        out[inUse] &= static_cast<std::uint8_t>(~free);
    };
    std::vector<std::uint8_t> grown = db.bytes;
    for (std::uint32_t k = 0; k < copies; ++k, ++end) {
        grown.insert(grown.end(), db.bytes.begin() + db.At(first),
                     db.bytes.begin() + db.At(first + 1));
        mark(grown, end);
    }
    Counts counts = Counted(plain);
    for (const RowSlot& s : RowSlots(*db.pages.Get(first), db.f, "")) {
        for (auto& [table, rows] : counts) rows += copies * (table == db.user->name && !s.deleted);
    }
    const Jet::CheckReport report = Check(grown, "Shop.mdb grown");
    EXPECT_EQ(report.Outcome, Verdict::kSound) << report.Finding;
    EXPECT_EQ(Counted(report), counts);
    for (const std::uint32_t after : {end, end + 2}) {
        std::vector<std::uint8_t> out = grown;
        out.insert(out.end(), out.begin() + db.At(2), out.begin() + db.At(3));
        out[db.At(first, db.f.rowCountAt + 1)] = 0x7F;
        mark(out, after);
        EXPECT_THAT(Check(out, "Shop.mdb").Finding,
                    HasSubstr("page " + std::to_string(first) + ": its table of"))
            << after;
    }
}

}  // namespace
