// The header and size check over crafted buffers, and over every real database file in the
// shared test data when that is beside the source tree.
#include <filesystem>
#include <random>

#include "PosixTestSupport.h"
#include "components/posix/DatabaseFormat.h"

namespace {

using namespace PosixTest;
using Components::Posix::CheckDatabaseHeader;
using Components::Posix::DatabaseCheck;
using Components::Posix::DatabaseVerdict;
using Components::Posix::kDatabaseHeaderBytes;

DatabaseCheck Check(const std::string& bytes, std::uint64_t size) {
    return CheckDatabaseHeader(reinterpret_cast<const unsigned char*>(bytes.data()),
                               std::min(bytes.size(), kDatabaseHeaderBytes), size);
}
DatabaseCheck Check(const std::string& bytes) { return Check(bytes, bytes.size()); }

TEST(DatabaseFormat, KnownFormatsOfWholePages) {
    EXPECT_EQ(Check(DatabaseBytes(1, 0)).verdict, DatabaseVerdict::kDatabase);
    EXPECT_EQ(Check(DatabaseBytes(1, 0)).pageSize, 2048u);
    EXPECT_EQ(Check(DatabaseBytes(3, 1)).pageSize, 4096u);
    for (char version = 2; version <= 6; ++version) {
        const auto check = Check(DatabaseBytes(2, version));
        EXPECT_EQ(check.verdict, DatabaseVerdict::kDatabase) << int(version);
        EXPECT_EQ(check.pageSize, 4096u);
    }
    EXPECT_EQ(Check(DatabaseBytes(1, 1), 4096ull * 1000000).verdict, DatabaseVerdict::kDatabase)
        << "the size is the file's, not the buffer's";
}

TEST(DatabaseFormat, SignatureAndVersionBelongTogether) {
    EXPECT_EQ(Check(DatabaseBytes(1, 2, "Standard Jet DB")).verdict,
              DatabaseVerdict::kUnrecognised);
    EXPECT_EQ(Check(DatabaseBytes(1, 1, "Standard ACE DB")).verdict,
              DatabaseVerdict::kUnrecognised);
    EXPECT_EQ(Check(DatabaseBytes(1, 0, "Standard ACE DB")).verdict,
              DatabaseVerdict::kUnrecognised);
    EXPECT_EQ(Check(DatabaseBytes(1, 7)).verdict, DatabaseVerdict::kUnrecognised);
    const auto unknown = Check(DatabaseBytes(1, static_cast<char>(0xFF)));
    EXPECT_EQ(unknown.verdict, DatabaseVerdict::kUnrecognised);
    EXPECT_NE(unknown.reason.find("255"), std::string::npos) << unknown.reason;
}

TEST(DatabaseFormat, WhatIsNotADatabase) {
    EXPECT_EQ(Check("just some text, not a database at all").verdict,
              DatabaseVerdict::kUnrecognised);
    std::string bytes = DatabaseBytes(1, 1);
    bytes[0] = 1;
    EXPECT_EQ(Check(bytes).verdict, DatabaseVerdict::kUnrecognised) << "byte 0";
    bytes = DatabaseBytes(1, 1);
    bytes[19] = ' ';
    EXPECT_EQ(Check(bytes).verdict, DatabaseVerdict::kUnrecognised) << "the signature's NUL";
    bytes = DatabaseBytes(1, 1);
    bytes[9] = 'x';
    EXPECT_EQ(Check(bytes).verdict, DatabaseVerdict::kUnrecognised) << "one letter off";
    EXPECT_EQ(Check(std::string(4096, '\0')).verdict, DatabaseVerdict::kUnrecognised);
    EXPECT_EQ(Check("\x7f"
                    "ELF")
                  .verdict,
              DatabaseVerdict::kUnrecognised)
        << "short, and wrong";
    EXPECT_EQ(Check(std::string("\0\1\0\0Stand"
                                "ART",
                                12))
                  .verdict,
              DatabaseVerdict::kUnrecognised);
}

TEST(DatabaseFormat, ATruncatedHeaderIsCorrupt) {
    const std::string header = DatabaseBytes(1, 1).substr(0, kDatabaseHeaderBytes);
    for (std::size_t length = 0; length < kDatabaseHeaderBytes; ++length) {
        const auto check = Check(header.substr(0, length));
        EXPECT_EQ(check.verdict, DatabaseVerdict::kCorrupt) << length;
        EXPECT_FALSE(check.reason.empty());
    }
    EXPECT_EQ(Check("").reason, "the file is empty");
    EXPECT_EQ(Check(header).verdict, DatabaseVerdict::kCorrupt) << "21 bytes: less than a page";
}

TEST(DatabaseFormat, SizeMustBeWholePagesOfTheVersion) {
    const std::string jet4 = DatabaseBytes(1, 1);
    EXPECT_EQ(Check(jet4, 4095).verdict, DatabaseVerdict::kCorrupt);
    EXPECT_EQ(Check(jet4, 4097).verdict, DatabaseVerdict::kCorrupt);
    EXPECT_EQ(Check(jet4, 2048).verdict, DatabaseVerdict::kCorrupt) << "2048 is a 1997 page";
    EXPECT_EQ(Check(jet4, 6144).verdict, DatabaseVerdict::kCorrupt);
    EXPECT_EQ(Check(jet4, 8192).verdict, DatabaseVerdict::kDatabase);
    const std::string jet3 = DatabaseBytes(1, 0);
    EXPECT_EQ(Check(jet3, 6144).verdict, DatabaseVerdict::kDatabase);
    EXPECT_EQ(Check(jet3, 3000).verdict, DatabaseVerdict::kCorrupt);
    const auto check = Check(jet4, 5000);
    EXPECT_NE(check.reason.find("5000"), std::string::npos) << check.reason;
    EXPECT_NE(check.reason.find("4096"), std::string::npos) << check.reason;
}

TEST(DatabaseFormat, ToleratesAnyArguments) {
    EXPECT_EQ(CheckDatabaseHeader(nullptr, 0, 0).verdict, DatabaseVerdict::kCorrupt);
    EXPECT_EQ(CheckDatabaseHeader(nullptr, 100, 4096).verdict, DatabaseVerdict::kCorrupt);
    const std::string full = DatabaseBytes(1, 1);
    const auto* bytes = reinterpret_cast<const unsigned char*>(full.data());
    EXPECT_EQ(CheckDatabaseHeader(bytes, full.size(), 10).verdict, DatabaseVerdict::kCorrupt)
        << "bytes past the file's end are not looked at";
    EXPECT_EQ(CheckDatabaseHeader(bytes, 5, 4096).verdict, DatabaseVerdict::kCorrupt)
        << "a short read of a long file";
    EXPECT_EQ(CheckDatabaseHeader(bytes, full.size(), UINT64_MAX).verdict,
              DatabaseVerdict::kCorrupt);
}

// What a fuzzer would do, bounded: mutated headers and sizes, with the facts every verdict
// must agree with.
TEST(DatabaseFormat, MutatedHeadersKeepTheRules) {
    std::mt19937_64 random(20240302);
    const std::string seeds[] = {DatabaseBytes(1, 0).substr(0, 64),
                                 DatabaseBytes(1, 1).substr(0, 64),
                                 DatabaseBytes(1, 6).substr(0, 64)};
    const std::uint64_t sizes[] = {0, 1, 20, 21, 2048, 4095, 4096, 6144, 8192, 1ull << 40};
    int databases = 0;
    for (int round = 0; round < 200000; ++round) {
        std::string bytes = seeds[random() % 3];
        const int flips = static_cast<int>(random() % 3);
        for (int i = 0; i < flips; ++i) bytes[random() % 24] = static_cast<char>(random());
        const std::size_t count = random() % (bytes.size() + 1);
        const std::uint64_t size = random() % 2 ? sizes[random() % 10] : random() % 20000;
        const auto check =
            CheckDatabaseHeader(reinterpret_cast<const unsigned char*>(bytes.data()), count, size);
        if (check.verdict != DatabaseVerdict::kDatabase) {
            ASSERT_FALSE(check.reason.empty());
            continue;
        }
        ++databases;
        ASSERT_GE(std::min<std::uint64_t>(count, size), kDatabaseHeaderBytes);
        ASSERT_EQ(bytes[0], 0);
        const std::string signature = bytes.substr(4, 16);
        const int version = static_cast<unsigned char>(bytes[0x14]);
        ASSERT_TRUE(
            (signature == std::string("Standard Jet DB\0", 16) && version <= 1) ||
            (signature == std::string("Standard ACE DB\0", 16) && version >= 2 && version <= 6));
        ASSERT_EQ(check.pageSize, version == 0 ? 2048u : 4096u);
        ASSERT_GE(size, check.pageSize);
        ASSERT_EQ(size % check.pageSize, 0u);
    }
    EXPECT_GT(databases, 1000) << "the sweep reaches the accepting side too";
}

// The real files of every format version, when the shared test data is beside the source.
TEST(DatabaseFormat, EverySharedDatabasePasses) {
    const fs::path shared = fs::path(TOLVANE_SOURCE_DIR) / "../shared/testdata/databases";
    if (!fs::is_directory(shared)) GTEST_SKIP() << "no shared test data at " << shared;
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(shared)) {
        if (!entry.is_regular_file()) continue;
        const std::string bytes = ReadFile(entry.path());
        const auto check = Check(bytes);
        EXPECT_EQ(check.verdict, DatabaseVerdict::kDatabase)
            << entry.path() << ": " << check.reason;
        const bool older = bytes[0x14] == 0;
        EXPECT_EQ(check.pageSize, older ? 2048u : 4096u) << entry.path();
        ++checked;
    }
    EXPECT_GE(checked, 10);
}

}  // namespace
