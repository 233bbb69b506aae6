#include <sys/stat.h>

#include <cerrno>
#include <regex>
#include <set>

#include "PosixTestSupport.h"
#include "components/TempNameServices.h"
#include "components/posix/SystemCalls.h"

namespace {

using namespace PosixTest;
using Components::TempNameServices;

class PosixTempNames : public ::testing::Test {
  protected:
    std::string Name(const std::string& buffer) { return buffer.substr(0, buffer.find('\0')); }

    std::unique_ptr<TempNameServices> services =
        Components::CreatePlatformInstance(Components::Tag<TempNameServices>{});
    ScratchFolder scratch;
};

TEST_F(PosixTempNames, TempPathIsTmpdirWithItsSeparator) {
    std::string buffer(1024, ' ');
    {
        EnvironmentVariable tmpdir("TMPDIR", "/var/tmp/mine");
        EXPECT_EQ(services->GetTempPath(1023, buffer), 14u);
        EXPECT_EQ(buffer.substr(0, 15), std::string("/var/tmp/mine/\0", 15));
        EXPECT_EQ(buffer.substr(15), std::string(1024 - 15, ' ')) << "the rest as it was";
    }
    {
        EnvironmentVariable tmpdir("TMPDIR", "/var/tmp/mine/");
        EXPECT_EQ(services->GetTempPath(1023, buffer), 14u);
    }
    for (const char* none : {static_cast<const char*>(nullptr), ""}) {
        EnvironmentVariable tmpdir("TMPDIR", none);
        std::string fresh(1024, ' ');
        EXPECT_EQ(services->GetTempPath(1023, fresh), 5u);
        EXPECT_EQ(fresh.substr(0, 6), std::string("/tmp/\0", 6));
    }
}

TEST_F(PosixTempNames, TempPathTooLongForTheBufferWritesNothing) {
    EnvironmentVariable tmpdir("TMPDIR", "/var/tmp/mine");
    std::string buffer(1024, ' ');
    EXPECT_EQ(services->GetTempPath(10, buffer), 15u) << "the length needed, NUL included";
    EXPECT_EQ(buffer, std::string(1024, ' '));
    std::string small(8, ' ');
    EXPECT_EQ(services->GetTempPath(1023, small), 15u) << "the buffer itself is short";
    EXPECT_EQ(small, std::string(8, ' '));
    std::string exact(15, ' ');
    EXPECT_EQ(services->GetTempPath(15, exact), 14u) << "just fits";
}

TEST_F(PosixTempNames, MakesAnEmptyFileUnderAFreshName) {
    std::string buffer(1024, ' ');
    const std::uint32_t number =
        services->GetTempFileName(scratch.Path().string(), "TOLVANE", 0, buffer);
    ASSERT_GT(number, 0u);
    const std::string name = Name(buffer);
    const std::regex form(
        std::regex_replace(scratch.Path().string(), std::regex("[.^$|()\\[\\]{}*+?\\\\]"), "\\$&") +
        "/TOL[0-9A-F]{4}\\.TMP");
    EXPECT_TRUE(std::regex_match(name, form)) << name;
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", number);
    EXPECT_NE(name.find(std::string("TOL") + digits + ".TMP"), std::string::npos)
        << "the number returned is the one in the name";
    EXPECT_TRUE(fs::is_regular_file(name));
    EXPECT_EQ(fs::file_size(name), 0u);
    EXPECT_EQ(buffer.substr(name.size() + 1), std::string(1024 - name.size() - 1, ' '));
}

TEST_F(PosixTempNames, UsesAtMostThreeCharactersOfThePrefix) {
    for (const auto& [prefix, stem] :
         {std::pair{"TOLVANE", "TOL"}, std::pair{"AB", "AB"}, std::pair{"", ""},
          std::pair{"\xC3\x89T\xC3\x89S", "\xC3\x89T\xC3\x89"}}) {
        std::string buffer(1024, ' ');
        ASSERT_GT(services->GetTempFileName(scratch.Path().string() + "/", prefix, 0, buffer), 0u);
        const std::string name = fs::path(Name(buffer)).filename().string();
        EXPECT_EQ(name.substr(0, name.size() - 8), stem) << prefix;
        EXPECT_EQ(name.size(), std::string(stem).size() + 8) << "four digits and .TMP";
    }
}

TEST_F(PosixTempNames, NeverReusesAnExistingFile) {
    // Learn where it starts, then take the next names before it can.
    std::string buffer(1024, ' ');
    const std::uint32_t first =
        services->GetTempFileName(scratch.Path().string(), "TOL", 0, buffer);
    ASSERT_GT(first, 0u);
    std::set<std::string> taken;
    for (std::uint32_t n = first + 1; n <= first + 20; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "TOL%04X.TMP", (n - 1) % 0xFFFF + 1);
        WriteFile(scratch.Path() / name, "someone else's");
        taken.insert(name);
    }
    const std::uint32_t second =
        services->GetTempFileName(scratch.Path().string(), "TOL", 0, buffer);
    ASSERT_GT(second, 0u);
    const std::string name = fs::path(Name(buffer)).filename().string();
    EXPECT_EQ(taken.count(name), 0u) << name;
    EXPECT_EQ(second, (first + 20) % 0xFFFF + 1) << "the first free number after the taken ones";
    for (const auto& other : taken) EXPECT_EQ(ReadFile(scratch.Path() / other), "someone else's");
}

TEST_F(PosixTempNames, ManyNamesAreAllDifferent) {
    std::set<std::string> names;
    for (int i = 0; i < 300; ++i) {
        std::string buffer(1024, ' ');
        ASSERT_GT(services->GetTempFileName(scratch.Path().string(), "TOL", 0, buffer), 0u);
        names.insert(Name(buffer));
    }
    EXPECT_EQ(names.size(), 300u);
    EXPECT_EQ(scratch.Names().size(), 300u);
}

TEST_F(PosixTempNames, ALinkUnderTheNameIsNotFollowed) {
    std::string buffer(1024, ' ');
    const std::uint32_t first =
        services->GetTempFileName(scratch.Path().string(), "TOL", 0, buffer);
    char name[16];
    std::snprintf(name, sizeof name, "TOL%04X.TMP", first % 0xFFFF + 1);
    fs::create_symlink(scratch.Path() / "target-elsewhere", scratch.Path() / name);
    ASSERT_GT(services->GetTempFileName(scratch.Path().string(), "TOL", 0, buffer), 0u);
    EXPECT_NE(fs::path(Name(buffer)).filename().string(), name);
    EXPECT_FALSE(fs::exists(scratch.Path() / "target-elsewhere")) << "nothing made through it";
}

TEST_F(PosixTempNames, FailsWithZeroAndTheSystemErrorInAMissingFolder) {
    std::string buffer(1024, ' ');
    Err::Current().LastDllError = 0;
    EXPECT_EQ(services->GetTempFileName(scratch / "no/such/folder", "TOL", 0, buffer), 0u);
    EXPECT_EQ(Err::Current().LastDllError, ENOENT);
    EXPECT_EQ(buffer, std::string(1024, ' ')) << "nothing written";
}

TEST_F(PosixTempNames, ANameThatWouldNotFitMakesNoFile) {
    std::string buffer(scratch.Path().string().size() + 5, ' ');
    EXPECT_EQ(services->GetTempFileName(scratch.Path().string(), "TOL", 0, buffer), 0u);
    EXPECT_TRUE(scratch.Names().empty());
    EXPECT_EQ(buffer, std::string(buffer.size(), ' '));
}

TEST_F(PosixTempNames, AGivenNumberOnlyFormatsTheName) {
    std::string buffer(1024, ' ');
    EXPECT_EQ(services->GetTempFileName(scratch.Path().string(), "TOLVANE", 0x1A2B, buffer),
              0x1A2Bu);
    EXPECT_EQ(Name(buffer), scratch / "TOL1A2B.TMP");
    EXPECT_EQ(services->GetTempFileName(scratch.Path().string(), "X", 7, buffer), 7u);
    EXPECT_EQ(Name(buffer), scratch / "X0007.TMP");
    EXPECT_TRUE(scratch.Names().empty()) << "nothing created";
}

}  // namespace
