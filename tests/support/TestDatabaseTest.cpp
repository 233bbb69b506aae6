// The databases the suites make must be real ones: an independent reader (mdbtools) reads
// back their tables and every row, and the structural check finds them sound.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "components/jet/DatabaseCheck.h"
#include "support/TestDatabase.h"

namespace {

namespace fs = std::filesystem;

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            out.append(buffer, n);
        }
        ::pclose(pipe);
    }
    return out;
}

TEST(TestDatabase, IsSoundAndAnIndependentReaderReadsItsTablesAndRows) {
    const bool mdbtools =
        std::system("command -v mdb-json mdb-tables mdb-ver >/dev/null 2>&1") == 0;
    char pattern[] = "/tmp/tolvane-testdb-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path folder = pattern;
    const struct {
        TestDatabase::Shape shape;
        const char* version;
    } cases[] = {
        {{}, "JET4"},
        {{.rows = 0}, "JET4"},
        {{.rows = 250, .pages = 700}, "JET4"},  // three pages of rows, pages past the map
        {{.rows = 5, .version = 0}, "JET3"},
        {{.rows = 130, .pages = 1100, .version = 0}, "JET3"},
        {{.rows = 2, .version = 3, .table = "Kunden Café ü"}, "ACE14"},
    };
    for (const auto& [shape, version] : cases) {
        const std::string file = (folder / "Test.mdb").string();
        const std::string bytes = TestDatabase::Make(shape);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        SCOPED_TRACE(std::string(version) + ", " + std::to_string(shape.rows) + " rows");
        const std::uint64_t pages = std::max(shape.pages, TestDatabase::UsedPages(shape));
        EXPECT_EQ(bytes.size(), pages * TestDatabase::PageSize(shape.version));
        const Jet::MemoryPageSource source(
            {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
        const Jet::CheckReport report = Jet::CheckDatabase(source);
        EXPECT_EQ(report.Outcome, Jet::Verdict::kSound) << report.Finding;
        ASSERT_EQ(report.Tables.size(), 2u);
        EXPECT_EQ(report.Tables[0].Name + " " + std::to_string(report.Tables[0].LiveRows),
                  "MSysObjects 3");
        EXPECT_EQ(report.Tables[1].Name, shape.table);
        EXPECT_EQ(report.Tables[1].LiveRows, static_cast<std::uint64_t>(shape.rows));
        EXPECT_EQ(report.Pages.Total, pages);
        EXPECT_EQ(report.Pages.InUse, TestDatabase::UsedPages(shape));
        EXPECT_EQ(report.Pages.Unreferenced, 0u);
        if (!mdbtools) continue;
        EXPECT_EQ(Output("mdb-ver '" + file + "'"), std::string(version) + "\n");
        EXPECT_EQ(Output("mdb-tables -1 -S '" + file + "' 2>&1"),
                  "MSysObjects\n" + shape.table + "\n");
        std::string expected;
        for (int id = 1; id <= shape.rows; ++id) {
            const std::string n = std::to_string(id);
            expected += "{\"Id\":" + n + ",\"Name\":\"Item " + n + "\"}\n";
        }
        EXPECT_EQ(Output("mdb-json '" + file + "' '" + shape.table + "' 2>&1"), expected);
    }
    fs::remove_all(folder);
    if (!mdbtools)
        GTEST_SKIP()
            << "mdbtools (mdb-tables, mdb-json, mdb-ver) is not installed: only the check was run";
}

}  // namespace
