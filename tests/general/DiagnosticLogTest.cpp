#include <gtest/gtest.h>

#include <climits>

#include "doubles/Doubles.h"
#include "general/qnGeneral.h"

using qnGeneral::LogIndent;
using qnGeneral::WriteLog;

namespace {

class DiagnosticLog : public ::testing::Test {
  protected:
    void Log(const std::string& text, std::int32_t level = -1, std::int32_t action = 0) {
        WriteLog(text, level, action);
    }
    Doubles::World world;
};

TEST_F(DiagnosticLog, LineIsTimeIndentSpaceMessageAndCrLf) {
    world.settings->level = 5;
    Log("first", 5, 1);
    Log("inside");
    Log("last", 5, 2);
    Log("");
    EXPECT_EQ(world.LogText(),
              "09:05:07 first\r\n"
              "09:05:07     inside\r\n"
              "09:05:07 last\r\n"
              "09:05:07 \r\n");
    EXPECT_EQ(LogIndent, 0);
}

TEST_F(DiagnosticLog, FileIsNamedForExecutableAndDateInLogFolderAndTimeTakesRegionalSeparator) {
    world.application->baseName = "Other";
    world.clock->times = {{2031, 11, 4, 7, 8, 9}};
    world.clock->separator = ".";
    Log("x");
    ASSERT_EQ(world.disk.files.size(), 1u);
    EXPECT_EQ(world.disk.files.begin()->first, "c:\\Other.20311104.log");
    EXPECT_EQ(world.disk.files.begin()->second, "07.08.09 x\r\n");
}

TEST(DiagnosticLogLevel, DecidesWhatIsWritten) {
    struct Case {
        std::int32_t loggingLevel, messageLevel;
        bool written;
    } cases[] = {
        {5, -1, true},   {5, 5, true},   {5, 6, false},   {4, -1, false}, {4, 4, true},
        {-1, 100, true}, {-1, -1, true}, {-5, -1, false}, {7, -3, true},
    };
    for (const auto& c : cases) {
        Doubles::World fresh;
        fresh.settings->level = c.loggingLevel;
        WriteLog("m", c.messageLevel, 1);
        EXPECT_EQ(!fresh.LogText().empty(), c.written)
            << "logging level " << c.loggingLevel << ", message level " << c.messageLevel;
        EXPECT_EQ(LogIndent, c.written ? 1 : 0) << "a line not written moves no nesting";
    }
}

TEST_F(DiagnosticLog, LevelZeroTouchesNothing) {
    world.settings->level = 0;
    LogIndent = 2;
    for (std::int32_t action : {0, 1, 2, 3}) Log("m", 1, action);
    EXPECT_TRUE(world.disk.files.empty());
    EXPECT_EQ(LogIndent, 2);
    EXPECT_EQ(world.settings->asked, 4) << "asked once per call, and nothing else done";
}

TEST_F(DiagnosticLog, IndentActions) {
    Log("a", 5, 2);  // closing at depth 0 stays at 0
    EXPECT_EQ(LogIndent, 0);
    Log("open", 5, 1);
    Log("open", 5, 1);
    Log("deep", 5, 9);  // an unknown action is a plain line
    Log("reset", 5, 3);
    Log("after");
    EXPECT_EQ(world.LogMessages(), (std::vector<std::string>{" a", " open", "     open",
                                                             "         deep", " reset", " after"}));
}

TEST_F(DiagnosticLog, UnclosedNestingDeepensEveryLaterLine) {
    Log("open", 5, 1);
    Log("later");
    Log("still later");
    EXPECT_EQ(world.LogMessages(),
              (std::vector<std::string>{" open", "     later", "     still later"}));
}

TEST_F(DiagnosticLog, MemoryCountersFromLevelTenOnNtFamily) {
    world.settings->level = 10;
    Log("m");
    EXPECT_EQ(world.LogText(), "09:05:07    1234567      89012 m\r\n");
    EXPECT_TRUE(world.systemInfo->handedZeroed);
    EXPECT_EQ(world.memory->calls,
              (std::vector<std::string>{"GetCurrentProcessId", "OpenProcess 1040 0 4242",
                                        "GetProcessMemoryInfo 77 40 40", "CloseHandle 77"}));
}

TEST_F(DiagnosticLog, NoMemoryCountersOffNtFamilyBelowTenOrAtMinusOne) {
    world.settings->level = 10;
    world.systemInfo->platformId = 1;
    Log("other family");
    world.settings->level = 9;
    world.systemInfo->platformId = 2;
    Log("level nine");
    world.settings->level = -1;
    Log("everything");
    EXPECT_EQ(world.LogText(),
              "09:05:07 other family\r\n09:05:07 level nine\r\n09:05:07 everything\r\n");
    EXPECT_TRUE(world.memory->calls.empty());
}

TEST_F(DiagnosticLog, CountersAreZeroWhenTheProcessCannotBeOpened) {
    world.settings->level = 10;
    world.memory->openFails = true;
    Log("m");
    EXPECT_EQ(world.LogText(), "09:05:07          0          0 m\r\n");
    EXPECT_EQ(world.memory->calls.back(), "CloseHandle 0");
}

TEST_F(DiagnosticLog, DateIsReadBeforeTime) {
    world.clock->times = {{2024, 3, 2, 23, 59, 59}, {2024, 3, 3, 0, 0, 0}};
    Log("midnight");
    EXPECT_EQ(world.LogText(), "00:00:00 midnight\r\n");
}

TEST_F(DiagnosticLog, MessageWithLineBreaksIsWrittenUnchanged) {
    Log("one\ntwo\r\nthree");
    EXPECT_EQ(world.LogText(), "09:05:07 one\ntwo\r\nthree\r\n");
}

TEST(DiagnosticLogLost, UnwritableOrFolderlessLogLosesLinesButKeepsNestingAndErrorRecord) {
    for (const bool folderKnown : {true, false}) {
        Doubles::World world;
        (folderKnown ? world.fileSystem->logWritable : world.fileSystem->logFolderKnown) = false;
        Err::Current() = {3049, "the engine's own", 6};
        WriteLog("open", 5, 1);
        WriteLog("open", 5, 1);
        WriteLog("close", 5, 2);
        EXPECT_TRUE(world.disk.files.empty());
        EXPECT_EQ(LogIndent, 1);
        const auto& record = Err::Current();
        EXPECT_EQ(std::tie(record.Number, record.Description, record.LastDllError),
                  std::make_tuple(3049, std::string("the engine's own"), std::int64_t{6}))
            << "folder known: " << folderKnown;
    }
}

TEST_F(DiagnosticLog, SettingsFailurePassesToCallerAndChangesNothing) {
    world.settings->fails = true;
    LogIndent = 1;
    EXPECT_THROW(Log("m", 5, 1), Err::Error);
    EXPECT_EQ(LogIndent, 1);
    EXPECT_TRUE(world.disk.files.empty());
}

TEST_F(DiagnosticLog, DepthPastTheLargestWidthIsAnOverflow) {
    LogIndent = INT32_MAX / 4 + 1;
    try {
        Log("m");
        FAIL() << "no overflow raised";
    } catch (const Err::Error& e) {
        EXPECT_EQ(e.Number(), Err::kOverflow);
    }
    EXPECT_TRUE(world.disk.files.empty());
}

}  // namespace
