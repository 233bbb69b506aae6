// Every real database is sound, and holds the tables and live rows an independent reader
// (Debian's mdbtools) finds in it.
#include <algorithm>
#include <cstdio>
#include <fstream>

#include "components/jet/JetTestSupport.h"
#include "components/jet/Reader.h"
#include "support/TestDatabase.h"

namespace JetTest {

namespace fs = std::filesystem;

std::vector<fs::path> RealDatabases() {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(
             fs::path(TOLVANE_SOURCE_DIR) / "../shared/testdata/databases", ec)) {
        if (e.is_regular_file()) files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::uint8_t> ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::uint8_t> bytes(fs::file_size(file));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

namespace {

std::string Quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::vector<std::string> OutputLines(const std::string& command) {
    std::vector<std::string> lines;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return lines;
    std::string line;
    for (int c; (c = std::fgetc(pipe)) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
        } else {
            lines.push_back(line);
            line.clear();
        }
    }
    pclose(pipe);
    return lines;
}

using Counts = std::vector<std::pair<std::string, std::uint64_t>>;

// mdb-count prints the count the table's definition stores, so rows are counted as mdb-json
// writes them, one line a row.
Counts MdbtoolsCounts(const fs::path& file) {
    Counts counts;
    for (const std::string& table :
         OutputLines("mdb-tables -S -1 " + Quoted(file) + " 2>/dev/null")) {
        const auto rows =
            OutputLines("mdb-json " + Quoted(file) + " " + Quoted(table) + " 2>/dev/null");
        counts.emplace_back(table, rows.size());
    }
    std::sort(counts.begin(), counts.end());
    return counts;
}

TEST(JetOracle, EveryRealDatabaseIsSoundWithTheTablesAndRowsMdbtoolsReads) {
    const auto files = RealDatabases();
    if (files.empty()) GTEST_SKIP() << "skipped: ../shared/testdata/databases is missing";
    if (std::system("command -v mdb-json >/dev/null && command -v mdb-tables >/dev/null") != 0) {
        GTEST_SKIP() << "skipped: mdbtools (mdb-tables, mdb-json) is missing";
    }
    const fs::path scratch = fs::temp_directory_path() / ("jet-oracle-" + std::to_string(getpid()));
    fs::create_directories(scratch);
    for (const fs::path& original : files) {
        const fs::path file = scratch / original.filename();
        fs::copy_file(original, file, fs::copy_options::overwrite_existing);
        const auto bytes = ReadBytes(file);
        const CountingSource source(bytes, bytes.size() > 0x14 && bytes[0x14] == 0 ? 2048 : 4096);
        const Jet::CheckReport report = Jet::CheckDatabase(source);
        EXPECT_EQ(report.Outcome, Jet::Verdict::kSound) << file << ": " << report.Finding;
        EXPECT_LE(source.MostReadsOfOnePage(), 2) << file;
        Counts mine;
        for (const auto& t : report.Tables) mine.emplace_back(t.Name, t.LiveRows);
        std::sort(mine.begin(), mine.end());
        EXPECT_EQ(mine, MdbtoolsCounts(file)) << file;
    }
    fs::remove_all(scratch);
}

// Large test databases are a small one followed by pages its map of free pages does not
// reach; the format counts those as free.
TEST(JetOracle, PagesBeyondTheMapsReachAreFree) {
    for (char version : {0, 1, 3}) {
        TestDatabase::Spec spec;
        spec.version = version;
        spec.rows = 150;
        spec.pages = 3000;
        const std::string made = TestDatabase::Make(spec);
        const std::vector<std::uint8_t> bytes(made.begin(), made.end());
        const Jet::CheckReport report = Check(bytes);
        EXPECT_EQ(report.Outcome, Jet::Verdict::kSound) << int{version} << report.Finding;
        EXPECT_EQ(report.Pages.Total, 3000u);
        EXPECT_EQ(report.Pages.InUse, TestDatabase::UsedPages(spec));
        EXPECT_EQ(report.Pages.Unreferenced, 0u);
        ASSERT_EQ(report.Tables.size(), 2u);
        EXPECT_EQ(report.Tables[1].LiveRows, 150u);
    }
}

// A database encoded with its key is read through each page's own key (the key XOR the page
// number); an .accdb protected by a password's cipher is not checked, never called damaged.
TEST(JetOracle, EncodedDatabasesAreReadThroughTheirKey) {
    const auto files = RealDatabases();
    if (files.empty()) GTEST_SKIP() << "skipped: ../shared/testdata/databases is missing";
    constexpr std::uint32_t kKey = 0x5A17C3E9;
    for (const fs::path& file : files) {
        auto bytes = ReadBytes(file);
        const Jet::CheckReport plain = Check(bytes);
        const unsigned version = bytes[0x14];
        const std::span header = std::span(bytes).subspan(0x18, version == 0 ? 126 : 128);
        Jet::Detail::Rc4(0x6B39DAC7, header);
        for (int i = 0; i < 4; ++i) bytes[0x3E + i] = static_cast<std::uint8_t>(kKey >> 8 * i);
        Jet::Detail::Rc4(0x6B39DAC7, header);
        const std::size_t pageSize = version == 0 ? 2048 : 4096;
        for (std::uint32_t p = 1; p < bytes.size() / pageSize; ++p) {
            Jet::Detail::Rc4(kKey ^ p, std::span(bytes).subspan(p * pageSize, pageSize));
        }
        const Jet::CheckReport encoded = Check(bytes);
        if (version >= 2) {
            EXPECT_EQ(encoded.Outcome, Jet::Verdict::kNotChecked) << file;
            EXPECT_NE(encoded.Finding.find("cipher"), std::string::npos) << file;
            continue;
        }
        EXPECT_EQ(encoded.Outcome, Jet::Verdict::kSound) << file << ": " << encoded.Finding;
        ASSERT_EQ(encoded.Tables.size(), plain.Tables.size()) << file;
        for (std::size_t i = 0; i < plain.Tables.size(); ++i) {
            EXPECT_EQ(encoded.Tables[i].LiveRows, plain.Tables[i].LiveRows) << file;
        }
    }
}

}  // namespace

}  // namespace JetTest
