// The real program, run as a user runs it: answers on standard input, files in a scratch
// folder, the log and the level file in folders of the test's own.
#include <regex>

#include "program/ProgramSupport.h"

namespace {

using namespace ProgramTest;

// Every box and every log line of a whole successful run, word for word.
TEST_F(Program, YesTwiceCompactsAndSaysSoWordForWord) {
    const fs::path db = data / "Shop.mdb";
    const std::string old = TestDatabase::Make();
    WriteFile(db, old);
    const Outcome run = Run(db.string() + "\ny\ny\n\n");
    EXPECT_EQ(run.Status(), 0);
    const std::string p = db.string();
    EXPECT_EQ(
        run.output,
        "\n== Select the Database File to Compact/Repair ==\nPath of the file (an empty line "
        "cancels): " +
            p +
            "\n\n== Tolvane [Question] ==\nAre you sure you want to "
            "Compact/Repair this database?\n\n" +
            p +
            "\nYes / No (Enter = No)? y\n\n"
            "== Compact/Repair Database [Question] ==\nWarning : The database must be closed on "
            "all computers before you can Compact/Repair it!\nYou should ensure that you have a "
            "backup of the database before proceeding\n\nAre you sure you want to continue "
            "compacting/repairing:\n\n\t" +
            p +
            "\nYes / No (Enter = No)? y\n\n"
            "== Tolvane [Information] ==\n" +
            kSuccess + "\n[OK] (press Enter) \n");
    EXPECT_EQ(std::regex_replace(Log(), std::regex("[0-9]{2}:[0-9]{2}:[0-9]{2}"), "T"),
              "T Start GetTempFile\r\nT     Assign a string\r\nT     AlphaNum the app.title\r\n"
              "T     Call GetTempFilename\r\nT     Process the return\r\nT End GetTempFile\r\n");
    EXPECT_EQ(Files(), (std::set<std::string>{"Shop.mdb", "Shop-0001.BAK"}));
    EXPECT_EQ(ReadFile(data / "Shop-0001.BAK"), old);
    EXPECT_EQ(ReadFile(db), old) << "the stand-in engine's copy is byte for byte";
}

// No at either question, Enter, or a choice that is no database: nothing changes.
TEST_F(Program, AnythingButYesTwiceChangesNothing) {
    const fs::path db = data / "Shop.mdb";
    const std::string old = TestDatabase::Make();
    WriteFile(data / "Empty.mdb", "");
    for (const std::string& input : {db.string() + "\nn\n", db.string() + "\ny\nn\n",
                                     db.string() + "\n\n", (data / "Empty.mdb").string() + "\n\n",
                                     (data / "Gone.mdb").string() + "\n\n", std::string("\n\n")}) {
        WriteFile(db, old);
        const Outcome run = Run(input);
        EXPECT_EQ(run.Status(), 0);
        EXPECT_EQ(Files(), (std::set<std::string>{"Empty.mdb", "Shop.mdb"})) << input;
        EXPECT_EQ(ReadFile(db), old);
        EXPECT_EQ(run.output.find(kSuccess), std::string::npos) << input;
        EXPECT_EQ(run.output.find(kWarning) != std::string::npos,
                  input.find("Shop.mdb") == std::string::npos)
            << input;
    }
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

// Level 10 adds the memory counters; level 0 writes no log at all, and the work is done.
TEST_F(Program, LoggingLevelDecidesTheLog) {
    const fs::path db = data / "Shop.mdb";
    WriteFile(db, TestDatabase::Make());
    WriteFile(root / "config/tolvane/logging-level", "10\n");
    Run(db.string() + "\ny\ny\n\n");
    // The working set is never 0; its last digit may be, as it counts whole pages.
    const std::regex line(
        "^[0-9]{2}:[0-9]{2}:[0-9]{2} (?= *[1-9])[ 0-9]{10} [ 0-9]{9}[0-9] Start "
        "GetTempFile\r$",
        std::regex::ECMAScript | std::regex::multiline);
    EXPECT_TRUE(std::regex_search(Log(), line)) << Log();

    fs::remove_all(root / "state");
    WriteFile(root / "config/tolvane/logging-level", "0\n");
    Run(db.string() + "\ny\ny\n\n");
    EXPECT_TRUE(Files().count("Shop-0002.BAK"));
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
        EXPECT_TRUE(ReadFile(data / backup) == bytes) << db;
        EXPECT_TRUE(ReadFile(db) == bytes) << db;
        ++runs;
    }
    EXPECT_GT(runs, 0);
}

}  // namespace
