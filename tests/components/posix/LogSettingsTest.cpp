// The level file's parsing and where it is looked for, and the padding of the log's columns.
#include <sys/stat.h>

#include "PosixTestSupport.h"
#include "components/LogSettings.h"

namespace {

using namespace PosixTest;
using Components::LogSettings;

class PosixLogSettings : public ::testing::Test {
  protected:
    void Level(const std::string& text) {
        fs::create_directories(config.Path() / "tolvane");
        WriteFile(config.Path() / "tolvane/logging-level", text);
    }
    ScratchFolder config;
    EnvironmentVariable xdg{"XDG_CONFIG_HOME", config.Path().c_str()};
    std::unique_ptr<LogSettings> settings =
        Components::CreatePlatformInstance(Components::Tag<LogSettings>{});
};

// A decimal level with white space around it; anything else means the default, five. One
// object reads them all: a change takes effect at the next call.
TEST_F(PosixLogSettings, ReadsTheDecimalLevelOrElseFive) {
    const std::pair<std::string, std::int32_t> cases[] = {
        {"10\n", 10},
        {"0", 0},
        {"-1\n", -1},
        {"  7 \t\r\n", 7},
        {"+3", 3},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"\n\n42\n\n", 42},
        {"007", 7},
        {"", 5},
        {"\n", 5},
        {"ten", 5},
        {"10 11", 5},
        {"1O", 5},
        {"2147483648", 5},
        {"-2147483649", 5},
        {"0x10", 5},
        {"5.5", 5},
        {"-", 5},
        {"+", 5},
        {"--1", 5},
        {"99999999999999999999", 5},
        {std::string(100000, ' ') + "9", 5},  // too long to be a level
    };
    for (const auto& [text, level] : cases) {
        Level(text);
        EXPECT_EQ(settings->LoggingLevel(), level) << '"' << text.substr(0, 30) << '"';
    }
}

TEST_F(PosixLogSettings, AbsentOrUnusableFileMeansFive) {
    EXPECT_EQ(settings->LoggingLevel(), 5) << "no file";
    fs::create_directories(config.Path() / "tolvane/logging-level");
    EXPECT_EQ(settings->LoggingLevel(), 5) << "a folder under the name";
    fs::remove(config.Path() / "tolvane/logging-level");
    ASSERT_EQ(::mkfifo((config.Path() / "tolvane/logging-level").c_str(), 0600), 0);
    EXPECT_EQ(settings->LoggingLevel(), 5) << "a FIFO is not read, so nothing blocks";
}

TEST_F(PosixLogSettings, FallsBackToHomeDotConfig) {
    ScratchFolder home;
    EnvironmentVariable noXdg("XDG_CONFIG_HOME", nullptr);
    EnvironmentVariable homeVariable("HOME", home.Path().c_str());
    fs::create_directories(home.Path() / ".config/tolvane");
    WriteFile(home.Path() / ".config/tolvane/logging-level", "8\n");
    EXPECT_EQ(settings->LoggingLevel(), 8);

    // A relative XDG_CONFIG_HOME is to be ignored, as the XDG rules say.
    EnvironmentVariable relative("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(settings->LoggingLevel(), 8);
}

TEST_F(PosixLogSettings, PadTextPutsTheFillOnTheLeft) {
    const std::tuple<std::string, std::int32_t, std::string, std::string> cases[] = {
        {"1234", 10, " ", "      1234"},
        {"-5", 10, " ", "        -5"},
        {"", 3, " ", "   "},
        {"1234567890", 10, " ", "1234567890"},
        {"12345678901", 10, " ", "12345678901"},  // longer stays
        {"7", 4, "0", "0007"},
        {"7", 6, "ab", "ababa7"},  // a wide fill is cut to the width
        {"7", 4, "\xC2\xB7",
         "\xC2\xB7\xC2\xB7\xC2\xB7"
         "7"},  // characters, not bytes
        {"\xC3\xA9t\xC3\xA9", 4, " ", " \xC3\xA9t\xC3\xA9"},
        {"7", 0, " ", "7"},
        {"7", -3, " ", "7"},
        {"7", 5, "", "7"},  // no fill, nothing to pad with
    };
    for (const auto& [text, width, fill, padded] : cases) {
        EXPECT_EQ(settings->PadText(text, width, fill), padded) << text << " " << width;
    }
}

}  // namespace
