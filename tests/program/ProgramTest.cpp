// The real program, run as a user runs it: answers on standard input, files in a scratch
// folder, the log and the level file in folders of the test's own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

#include "program/ProgramSupport.h"

namespace fs = std::filesystem;

using namespace ProgramTest;

namespace {

TEST_F(Program, YesTwiceCompactsAndKeepsTheOldBytesInTheFirstBackup) {
    const fs::path db = data / "Shop.mdb";
    const std::string old = TestDatabase::Make();
    WriteFile(db, old);
    const Outcome run = Run(db.string() + "\ny\ny\n\n");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find(kSuccess), std::string::npos) << run.output;
    EXPECT_EQ(Files(), (std::set<std::string>{"Shop.mdb", "Shop-0001.BAK"}));
    EXPECT_EQ(ReadFile(data / "Shop-0001.BAK"), old);
    EXPECT_EQ(ReadFile(db), old) << "the stand-in engine's copy is byte for byte";

    const std::string log = Log();
    EXPECT_NE(log.find(" Start GetTempFile\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("     Process the return\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" End GetTempFile\r\n"), std::string::npos) << log;
}

TEST_F(Program, NoAtEitherConfirmationChangesNothing) {
    const fs::path db = data / "Shop.mdb";
    const std::string old = TestDatabase::Make();
    for (const char* answers : {"n\n", "y\nn\n", "\n"}) {
        WriteFile(db, old);
        const Outcome run = Run(db.string() + "\n" + std::string(answers));
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(Files(), std::set<std::string>{"Shop.mdb"}) << answers;
        EXPECT_EQ(ReadFile(db), old);
        EXPECT_EQ(run.output.find(kSuccess), std::string::npos);
    }
}

TEST_F(Program, EmptyMissingOrCancelledChoiceGetsTheWarning) {
    WriteFile(data / "Empty.mdb", "");
    for (const std::string& chosen :
         {(data / "Empty.mdb").string(), (data / "Gone.mdb").string(), std::string()}) {
        const Outcome run = Run(chosen + "\n\n");
        EXPECT_NE(run.output.find(kWarning), std::string::npos) << chosen << run.output;
    }
    EXPECT_EQ(Files(), std::set<std::string>{"Empty.mdb"});
}

TEST_F(Program, FileThatIsNotADatabaseIsReportedWithTheEnginesNumber) {
    const fs::path db = data / "Notes.mdb";
    WriteFile(db, "just some text, not a database at all");
    const Outcome run = Run(db.string() + "\ny\ny\n\n");
    const std::regex report(
        "There was a problem Compacting/Repairing the database: " + db.string() +
        " and the error's description was reported as : \n\n\"[^\"]+ "
        "\\([0-9]+\\)\"");
    EXPECT_TRUE(std::regex_search(run.output, report)) << run.output;
    EXPECT_EQ(Files(), std::set<std::string>{"Notes.mdb"});
    EXPECT_NE(Log().find("There was a problem Compacting/Repairing"), std::string::npos);
}

TEST_F(Program, BackupTakesTheFirstFreeNumber) {
    const fs::path db = data / "Shop.mdb";
    const std::string old = TestDatabase::Make();
    WriteFile(db, old);
    fs::create_directory(data / "Shop-0001.BAK");  // takes the name as a file would
    WriteFile(data / "Shop-0002.BAK", "two");
    Run(db.string() + "\ny\ny\n\n");
    EXPECT_EQ(ReadFile(data / "Shop-0003.BAK"), old);
    EXPECT_TRUE(fs::is_directory(data / "Shop-0001.BAK"));

    fs::remove(data / "Shop-0001.BAK");
    fs::remove(data / "Shop-0003.BAK");
    Run(db.string() + "\ny\ny\n\n");
    EXPECT_EQ(ReadFile(data / "Shop-0001.BAK"), old);
    EXPECT_EQ(ReadFile(data / "Shop-0002.BAK"), "two");
}

TEST_F(Program, DatabaseInUseIsReportedAndLeftAlone) {
    const fs::path db = data / "Shop.mdb";
    const std::string old = TestDatabase::Make();
    WriteFile(db, old);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        const int fd = open(db.c_str(), O_RDONLY);
        flock(fd, LOCK_EX);
        (void)!write(ready[1], "x", 1);
        pause();
        _exit(0);
    }
    char x;
    ASSERT_EQ(read(ready[0], &x, 1), 1);
    const Outcome run = Run(db.string() + "\ny\ny\n\n");
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_NE(run.output.find("There was a problem Compacting/Repairing the database: "),
              std::string::npos)
        << run.output;
    EXPECT_EQ(Files(), std::set<std::string>{"Shop.mdb"});
    EXPECT_EQ(ReadFile(db), old);
}

TEST_F(Program, LoggingLevelTenShowsTheMemoryCounters) {
    WriteFile(root / "config/tolvane/logging-level", "10\n");
    const fs::path db = data / "Shop.mdb";
    WriteFile(db, TestDatabase::Make());
    Run(db.string() + "\ny\ny\n\n");
    const std::regex line(
        "^[0-9]{2}:[0-9]{2}:[0-9]{2} [ 0-9]{9}[0-9] [ 0-9]{9}[0-9] Start "
        "GetTempFile\r$",
        std::regex::ECMAScript | std::regex::multiline);
    EXPECT_TRUE(std::regex_search(Log(), line)) << Log();
}

TEST_F(Program, LoggingLevelZeroMakesNoLogFile) {
    WriteFile(root / "config/tolvane/logging-level", "0\n");
    const fs::path db = data / "Shop.mdb";
    WriteFile(db, TestDatabase::Make());
    Run(db.string() + "\ny\ny\n\n");
    EXPECT_TRUE(Files().count("Shop-0001.BAK"));
    EXPECT_FALSE(fs::exists(root / "state/tolvane") && !fs::is_empty(root / "state/tolvane"));
}

// The databases of every format version in the shared test data, when it is beside us.
TEST_F(Program, EveryRealDatabaseIsCompactedWithItsBackupBeside) {
    const fs::path shared = fs::path(TOLVANE_SOURCE_DIR) / "../shared/testdata/databases";
    if (!fs::is_directory(shared)) GTEST_SKIP() << "skipped: no shared test data at " << shared;
    int runs = 0;
    for (const auto& entry : fs::directory_iterator(shared)) {
        for (const auto& old : fs::directory_iterator(data)) fs::remove(old.path());
        const fs::path db = data / entry.path().filename();
        fs::copy_file(entry.path(), db);
        fs::permissions(db, fs::perms::owner_read | fs::perms::owner_write);
        const std::string bytes = ReadFile(db);
        const Outcome run = Run(db.string() + "\ny\ny\n\n");
        EXPECT_NE(run.output.find(kSuccess), std::string::npos) << db << run.output;
        const std::string backup = db.stem().string() + "-0001.BAK";
        EXPECT_EQ(Files(), (std::set<std::string>{db.filename(), backup})) << db;
        EXPECT_EQ(ReadFile(data / backup), bytes) << db;
        EXPECT_EQ(ReadFile(db), bytes) << db;
        ++runs;
    }
    EXPECT_GT(runs, 0);
}

}  // namespace
