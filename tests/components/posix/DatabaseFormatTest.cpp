// The header and size check over crafted buffers: the verdicts the fuzz target cannot know
// to expect, and the reasons the user reads.
#include "PosixTestSupport.h"
#include "components/posix/DatabaseFormat.h"

namespace {

using namespace PosixTest;
using Components::Posix::CheckDatabaseHeader;
using Components::Posix::DatabaseCheck;
using Components::Posix::DatabaseVerdict;
using Components::Posix::kDatabaseHeaderBytes;
using enum DatabaseVerdict;

DatabaseCheck Check(const std::string& bytes, std::uint64_t size) {
    return CheckDatabaseHeader(reinterpret_cast<const unsigned char*>(bytes.data()),
                               std::min(bytes.size(), kDatabaseHeaderBytes), size);
}

std::string With(std::string bytes, std::size_t at, const std::string& text) {
    return bytes.replace(at, text.size(), text);
}

std::string Version(char version) { return TestDatabase::Make({.version = version}); }

TEST(DatabaseFormat, Verdicts) {
    const std::string jet3 = Version(0), jet4 = Version(1);
    const std::string header = jet4.substr(0, kDatabaseHeaderBytes);
    struct Case {
        std::string bytes;
        std::uint64_t size;
        DatabaseVerdict verdict;
        std::uint32_t pageSize;
        std::string reasonHolds;
    };
    std::vector<Case> cases = {
        {jet3, 2048, kDatabase, 2048, ""},
        {jet3, 6144, kDatabase, 2048, ""},
        {jet4, 8192, kDatabase, 4096, ""},
        {jet4, 4096ull * 1000000, kDatabase, 4096, ""},  // the size is the file's, not the buffer's
        {jet4, 4095, kCorrupt, 4096, ""},
        {jet4, 4097, kCorrupt, 4096, ""},
        {jet4, 2048, kCorrupt, 4096, ""},  // 2048 is a 1997 page
        {jet4, 6144, kCorrupt, 4096, ""},
        {jet4, 5000, kCorrupt, 4096, "5000"},
        {jet4, 5000, kCorrupt, 4096, "4096"},
        {jet3, 3000, kCorrupt, 2048, ""},
        {jet4, UINT64_MAX, kCorrupt, 4096, ""},
        {header, kDatabaseHeaderBytes, kCorrupt, 4096, ""},  // less than a page
        {"", 0, kCorrupt, 0, "the file is empty"},
        {With(Version(2), 4, "Standard Jet DB"), 4096, kUnrecognised, 0, ""},
        {With(jet4, 4, "Standard ACE DB"), 4096, kUnrecognised, 0, ""},
        {With(jet3, 4, "Standard ACE DB"), 4096, kUnrecognised, 0, ""},
        {Version(7), 4096, kUnrecognised, 0, ""},
        {Version(static_cast<char>(0xFF)), 4096, kUnrecognised, 0, "255"},
        {"just some text, not a database at all", 37, kUnrecognised, 0, ""},
        {With(jet4, 0, "\1"), 4096, kUnrecognised, 0, ""},
        {With(jet4, 19, " "), 4096, kUnrecognised, 0, ""},  // the signature's NUL
        {With(jet4, 9, "x"), 4096, kUnrecognised, 0, ""},   // one letter off
        {std::string(4096, '\0'), 4096, kUnrecognised, 0, ""},
        {"\x7f"
         "ELF",
         4, kUnrecognised, 0, ""},  // short, and wrong
        {std::string("\0\1\0\0StandART", 12), 12, kUnrecognised, 0, ""},
    };
    for (char version = 2; version <= 6; ++version) {
        cases.push_back({Version(version), 8192, kDatabase, 4096, ""});
    }
    for (std::size_t length = 0; length < kDatabaseHeaderBytes; ++length) {
        cases.push_back({header.substr(0, length), length, kCorrupt, 0, ""});
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const DatabaseCheck check = Check(c.bytes, c.size);
        EXPECT_EQ(check.verdict, c.verdict) << i << ": " << check.reason;
        EXPECT_EQ(check.pageSize, c.pageSize) << i;
        EXPECT_EQ(check.reason.empty(), c.verdict == kDatabase) << i;
        EXPECT_NE(check.reason.find(c.reasonHolds), std::string::npos) << i << ": " << check.reason;
    }
}

TEST(DatabaseFormat, LooksAtNoBytesPastTheFileOrTheBuffer) {
    EXPECT_EQ(CheckDatabaseHeader(nullptr, 0, 0).verdict, kCorrupt);
    EXPECT_EQ(CheckDatabaseHeader(nullptr, 100, 4096).verdict, kCorrupt);
    const std::string full = Version(1);
    const auto* bytes = reinterpret_cast<const unsigned char*>(full.data());
    EXPECT_EQ(CheckDatabaseHeader(bytes, full.size(), 10).verdict, kCorrupt)
        << "bytes past the file's end are not looked at";
    EXPECT_EQ(CheckDatabaseHeader(bytes, 5, 4096).verdict, kCorrupt) << "a short read";
}

}  // namespace
