// The databases the suites make must be real ones: an independent reader (mdbtools) reads
// back their tables and every row.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

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

TEST(TestDatabase, AnIndependentReaderReadsItsTablesAndRows) {
    if (std::system("command -v mdb-json mdb-tables mdb-ver >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "skipped: mdbtools (mdb-tables, mdb-json, mdb-ver) is not installed";
    }
    char pattern[] = "/tmp/tolvane-testdb-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path folder = pattern;
    const struct {
        TestDatabase::Spec spec;
        const char* version;
    } cases[] = {
        {{}, "JET4"},
        {{.rows = 0}, "JET4"},
        {{.rows = 250, .pages = 700}, "JET4"},  // three pages of rows, pages past the map
        {{.rows = 5, .version = 0}, "JET3"},
        {{.rows = 130, .pages = 1100, .version = 0}, "JET3"},
        {{.rows = 2, .version = 3, .table = "Kunden"}, "ACE14"},
    };
    for (const auto& [spec, version] : cases) {
        const std::string file = (folder / "Test.mdb").string();
        const std::string bytes = TestDatabase::Make(spec);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        SCOPED_TRACE(std::string(version) + ", " + std::to_string(spec.rows) + " rows");
        EXPECT_EQ(bytes.size(), std::max(spec.pages, TestDatabase::UsedPages(spec)) *
                                    TestDatabase::PageSize(spec.version));
        EXPECT_EQ(Output("mdb-ver '" + file + "'"), std::string(version) + "\n");
        EXPECT_EQ(Output("mdb-tables -1 -S '" + file + "' 2>&1"),
                  "MSysObjects\n" + spec.table + "\n");
        std::string expected;
        for (int id = 1; id <= spec.rows; ++id) {
            const std::string n = std::to_string(id);
            expected += "{\"Id\":" + n + ",\"Name\":\"Item " + n + "\"}\n";
        }
        EXPECT_EQ(Output("mdb-json '" + file + "' '" + spec.table + "' 2>&1"), expected);
    }
    fs::remove_all(folder);
}

}  // namespace
