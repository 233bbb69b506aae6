// The temporary folder and the reserved names: what a buffer of a given size gets, and that a
// name already there, even a link, is never reused.
#include <cerrno>
#include <tuple>

#include "PosixTestSupport.h"
#include "components/TempNameServices.h"

namespace {

using namespace PosixTest;
using Components::TempNameServices;

class PosixTempNames : public ::testing::Test {
  protected:
    std::string Name(const std::string& buffer) { return buffer.substr(0, buffer.find('\0')); }
    std::uint32_t Reserve(std::string& buffer, const std::string& prefix = "TOL",
                          std::uint32_t unique = 0) {
        return services->GetTempFileName(scratch.Path().string(), prefix, unique, buffer);
    }

    std::unique_ptr<TempNameServices> services =
        Components::CreatePlatformInstance(Components::Tag<TempNameServices>{});
    ScratchFolder scratch;
};

// The length written, or the length needed (NUL included) with nothing written.
TEST_F(PosixTempNames, TempPathIsTmpdirWithItsSeparator) {
    const std::tuple<const char*, std::size_t, std::uint32_t, std::uint32_t, std::string> cases[] =
        {
            {"/var/tmp/mine", 1024, 1023, 14, "/var/tmp/mine/"},
            {"/var/tmp/mine/", 1024, 1023, 14, "/var/tmp/mine/"},
            {nullptr, 1024, 1023, 5, "/tmp/"},
            {"", 1024, 1023, 5, "/tmp/"},
            {"/var/tmp/mine", 1024, 10, 15, ""},              // the length given is short
            {"/var/tmp/mine", 8, 1023, 15, ""},               // the buffer itself is short
            {"/var/tmp/mine", 15, 15, 14, "/var/tmp/mine/"},  // just fits
        };
    for (const auto& [tmpdir, size, length, answer, written] : cases) {
        EnvironmentVariable variable("TMPDIR", tmpdir);
        std::string buffer(size, ' ');
        EXPECT_EQ(services->GetTempPath(length, buffer), answer) << tmpdir << " " << length;
        const std::string expected = written.empty() ? "" : written + '\0';
        EXPECT_EQ(buffer.substr(0, expected.size()), expected);
        EXPECT_EQ(buffer.substr(expected.size()), std::string(size - expected.size(), ' '))
            << "the rest as it was";
    }
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

TEST_F(PosixTempNames, NeverReusesAnExistingFileOrLink) {
    // Learn where it starts, then take the next names before it can; one of them a link.
    std::string buffer(1024, ' ');
    const std::uint32_t first = Reserve(buffer);
    ASSERT_GT(first, 0u);
    char digits[16];
    std::snprintf(digits, sizeof digits, "TOL%04X.TMP", first);
    EXPECT_EQ(Name(buffer), scratch / digits) << "the number returned is the one in the name";
    EXPECT_EQ(fs::file_size(Name(buffer)), 0u);
    EXPECT_EQ(buffer.substr(Name(buffer).size() + 1),
              std::string(1024 - Name(buffer).size() - 1, ' '));
    std::vector<std::string> taken;
    for (std::uint32_t n = first + 1; n <= first + 20; ++n) {
        std::snprintf(digits, sizeof digits, "TOL%04X.TMP", (n - 1) % 0xFFFF + 1);
        if (n == first + 10) {
            fs::create_symlink(scratch.Path() / "target-elsewhere", scratch.Path() / digits);
        } else {
            WriteFile(scratch.Path() / digits, "someone else's");
            taken.push_back(digits);
        }
    }
    const std::uint32_t second = Reserve(buffer);
    EXPECT_EQ(second, (first + 20) % 0xFFFF + 1) << "the first free number after the taken ones";
    std::snprintf(digits, sizeof digits, "TOL%04X.TMP", second);
    EXPECT_EQ(Name(buffer), scratch / digits);
    EXPECT_FALSE(fs::exists(scratch.Path() / "target-elsewhere")) << "nothing made through it";
    for (const auto& name : taken) EXPECT_EQ(ReadFile(scratch / name), "someone else's");
}

// A missing folder, a buffer too small for the name, or a number given: no file is made.
TEST_F(PosixTempNames, MakesNoFileWhereItCannotOrNeedNot) {
    std::string buffer(1024, ' ');
    Err::Current().LastDllError = 0;
    EXPECT_EQ(services->GetTempFileName(scratch / "no/such/folder", "TOL", 0, buffer), 0u);
    EXPECT_EQ(Err::Current().LastDllError, ENOENT);
    EXPECT_EQ(buffer, std::string(1024, ' ')) << "nothing written";

    std::string small(scratch.Path().string().size() + 5, ' ');
    EXPECT_EQ(Reserve(small), 0u);
    EXPECT_EQ(small, std::string(small.size(), ' '));

    EXPECT_EQ(Reserve(buffer, "TOLVANE", 0x1A2B), 0x1A2Bu);
    EXPECT_EQ(Name(buffer), scratch / "TOL1A2B.TMP");
    EXPECT_EQ(Reserve(buffer, "X", 7), 7u);
    EXPECT_EQ(Name(buffer), scratch / "X0007.TMP");
    EXPECT_TRUE(scratch.Names().empty());
}

}  // namespace
