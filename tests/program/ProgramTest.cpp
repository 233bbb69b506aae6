// The real programs, run as a user runs them: answers on standard input, files in a scratch
// folder, the log and the level file in folders of the test's own.
#include <sys/file.h>
#include <time.h>

#include <regex>

#include "support/WholeRun.h"

namespace {

using namespace WholeRun;

class Program : public Scratch {
  protected:
    Program() { WriteFile(db, old); }

    Outcome Run(const std::string& input, const char* program = TOLVANE_BINARY,
                std::vector<std::string> arguments = {}, bool errorsToFullDisk = false) {
        arguments.insert(arguments.begin(), program);
        return Wait(Start(input, [&] {
            if (errorsToFullDisk) dup2(open("/dev/full", O_WRONLY), 2);
            std::vector<char*> argv;
            for (std::string& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(program, argv.data());
            return 127;
        }));
    }

    const fs::path db = data / "Shop.mdb";
    const std::string old = Database::Small(), yes = db.string() + "\ny\ny\n\n";
};

// The log with each time this machine's clock showed during the run written as T.
std::string TimesAsT(std::string log, time_t from, time_t to) {
    for (time_t t = from; t <= to; ++t) {
        tm parts{};
        char stamp[16];
        strftime(stamp, sizeof stamp, "%H:%M:%S", localtime_r(&t, &parts));
        for (auto at = log.find(stamp); at != std::string::npos; at = log.find(stamp))
            log.replace(at, 8, "T");
    }
    return log;
}

// Every box and every log line of a whole successful run, word for word, at each level: the
// default, 10 (the working set, never 0, and the page-file usage before each text), and two
// that leave the log empty.
TEST_F(Program, YesTwiceCompactsAndSaysSoWordForWordAtEachLevel) {
    const std::string p = db.string();
    const std::string boxes =
        "\n== Select the Database File to Compact/Repair ==\nPath of the file (an empty line "
        "cancels): " +
        p +
        "\n\n== Tolvane [Question] ==\nAre you sure you want to Compact/Repair this database?\n\n" +
        p +
        "\nYes / No (Enter = No)? y\n\n== Compact/Repair Database [Question] ==\nWarning : The "
        "database must be closed on all computers before you can Compact/Repair it!\nYou should "
        "ensure that you have a backup of the database before proceeding\n\nAre you sure you want "
        "to continue compacting/repairing:\n\n\t" +
        p + "\nYes / No (Enter = No)? y\n\n== Tolvane [Information] ==\n" + kSuccess +
        "\n[OK] (press Enter) \n";
    const std::string log =
        "T Start GetTempFile\r\nT     Assign a string\r\nT     AlphaNum the app.title\r\nT     "
        "Call "
        "GetTempFilename\r\nT     Process the return\r\nT End GetTempFile\r\n";
    for (const std::string level : {"", "10", "4", "0"}) {
        Reset();
        WriteFile(db, old);
        if (!level.empty()) Level(level);
        const time_t from = time(nullptr);
        const Outcome run = Run(yes);
        const std::string logged = TimesAsT(Log(), from, time(nullptr));
        EXPECT_EQ(run.Status(), 0);
        EXPECT_EQ(run.output, boxes);
        EXPECT_EQ(Files(), (std::set<std::string>{"Shop.mdb", "Shop-0001.BAK"}));
        EXPECT_EQ(ReadFile(data / "Shop-0001.BAK"), old);
        EXPECT_EQ(ReadFile(db), old) << "the stand-in engine's copy is byte for byte";
        if (level == "10") {  // C for the counters
            const std::regex counters("^T (?= *[1-9])[ 0-9]{9}[0-9] [ 0-9]{9}[0-9]",
                                      std::regex::multiline);
            EXPECT_EQ(std::regex_replace(logged, counters, "T C"),
                      std::regex_replace(log, std::regex("^T", std::regex::multiline), "T C"))
                << logged;
        } else {
            EXPECT_EQ(logged, level.empty() ? log : "") << level;
        }
    }
}

// No at either question, Enter at either, or a choice that is no database: nothing changes.
TEST_F(Program, AnythingButYesTwiceChangesNothing) {
    WriteFile(data / "Empty.mdb", "");
    for (const std::string& input :
         {db.string() + "\nn\n", db.string() + "\ny\nn\n", db.string() + "\n\n",
          db.string() + "\ny\n\n", (data / "Empty.mdb").string() + "\n\n",
          (data / "Gone.mdb").string() + "\n\n", std::string("\n\n")}) {
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

// A folder or an empty file under a name takes it; the first free number is used, gaps too.
TEST_F(Program, BackupTakesTheFirstFreeNumber) {
    fs::create_directory(data / "Shop-0001.BAK");
    WriteFile(data / "Shop-0002.BAK", "");
    Run(yes);
    EXPECT_EQ(ReadFile(data / "Shop-0003.BAK"), old);
    fs::remove(data / "Shop-0001.BAK");
    Run(yes);
    EXPECT_EQ(ReadFile(data / "Shop-0001.BAK"), old);
    EXPECT_EQ(ReadFile(data / "Shop-0002.BAK"), "");
    EXPECT_EQ(Files(), (std::set<std::string>{"Shop.mdb", "Shop-0001.BAK", "Shop-0002.BAK",
                                              "Shop-0003.BAK"}));
}

// A database the program must not compact: the report that ends the run, word for word, and
// the folder as it was.
TEST_F(Program, WhatMustNotBeCompactedIsRefusedWithTheEnginesReport) {
    const std::string report =
        "There was a problem Compacting/Repairing the database: " + db.string() +
        " and the error's description was reported as : \n\n\"";
    std::string damaged = old, later = old;
    damaged[Database::kFirstRowsPage * Database::kPage + 4] = 9;  // the rows' owner
    later[0x14] = 9;                                              // a format version yet to come
    const struct {
        std::string bytes;
        int lock;  // held by another process: 0 none, 1 flock, 2 a record lock past the data
        std::string said;
    } cases[] = {
        {"just some text", 0,
         "Unrecognized database format '" + db.string() +
             "': it does not begin as a database "
             "file does. (3343)"},
        {damaged, 0,
         "Cannot open database '" + db.string() +
             "'. It may not be a database this engine recognizes, or the file may be corrupt: "
             "table Orders, page 6: the page is in the table's map but is not a data page of "
             "that table. (3049)"},
        {later, 0,
         "Unrecognized database format '" + db.string() +
             "': its format version 9 is not one this reader knows. (3343)"},
        {old, 1,
         "Could not use '" + db.string() + "'; file already in use by another process. (3045)"},
        {old, 2,
         "Could not use '" + db.string() + "'; file already in use by another process. (3045)"},
    };
    for (const auto& c : cases) {
        WriteFile(db, c.bytes);
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t holder = c.lock == 0 ? -1 : fork();
        if (holder == 0) {
            const int fd = open(db.c_str(), O_RDWR);
            struct flock range {};
            range.l_type = F_WRLCK;
            range.l_start = 0x10000000;
            range.l_len = 1;
            const bool held =
                c.lock == 1 ? flock(fd, LOCK_EX) == 0 : fcntl(fd, F_SETLK, &range) == 0;
            (void)!write(ready[1], held ? "y" : "n", 1);
            pause();
            _exit(0);
        }
        char held = 'y';
        if (holder > 0) {
            ASSERT_EQ(read(ready[0], &held, 1), 1);
        }
        const Outcome run = Run(yes);
        if (holder > 0) kill(holder, SIGKILL), waitpid(holder, nullptr, 0);
        close(ready[0]), close(ready[1]);
        EXPECT_EQ(held, 'y');
        EXPECT_TRUE(run.output.ends_with("\n== Tolvane [Warning] ==\n" + report + c.said +
                                         "\"\n[OK] (press Enter) \n"))
            << run.output;
        EXPECT_EQ(Files(), std::set<std::string>{"Shop.mdb"});
        EXPECT_EQ(ReadFile(db), c.bytes);
    }
}

// An error that reaches main ends the program as a failure, never as "in use, try again"; it
// is logged at level 1 and shown in a box only to a run that may ask questions. Here the
// usage report meets a full disk on standard error.
TEST_F(Program, AnErrorThatEndsTheProgramIsAFailureLoggedAndBoxedOnlyWhenAttended) {
    for (const bool unattended : {false, true}) {
        Reset();
        Level("1");
        std::vector<std::string> arguments{"--bogus"};
        if (unattended) arguments.insert(arguments.begin(), "/compact");
        const Outcome run = Run("\n", TOLVANE_BINARY, arguments, true);
        EXPECT_EQ(run.Status(), 3) << unattended;
        EXPECT_NE(Log().find("Run-time error 57: Tell: the text could not be written\r\n"),
                  std::string::npos)
            << Log();
        EXPECT_EQ(run.output.find("Run-time error '57'") != std::string::npos, !unattended)
            << run.output;
    }
}

// tolvane-check: what it prints for each kind of file, and the gravest status of them all.
TEST_F(Program, TheCheckerPrintsTablesPagesAndVerdictWithTheGravestStatus) {
    std::string damaged = old, unknown = old;
    damaged[Database::kFirstRowsPage * Database::kPage + 4] = 9;
    unknown[Database::kTablePage * Database::kPage + 63 + 25] = 21;  // column Name's type
    WriteFile(data / "Sound.mdb", old);
    WriteFile(data / "Damaged.mdb", damaged);
    WriteFile(data / "Unknown.mdb", unknown);
    // Sparse, so nothing near a gigabyte is written: 90 % of the 2000 format's limit, a page
    // below it, and 90 % of the 1997 format's, which the header's version byte names.
    std::string old1997 = old;
    old1997[0x14] = 0;
    for (const auto& [name, bytes, size] : {std::tuple{"Full.mdb", old, 1932738560},
                                            {"Under.mdb", old, 1932734464},
                                            {"Old.mdb", old1997, 966369280}}) {
        WriteFile(data / name, bytes);
        fs::resize_file(data / name, size);
    }
    const struct {
        std::vector<std::string> files;
        int status;
        std::string output;  // its end, or for several files a part of it
    } cases[] = {
        {{"Sound.mdb"}, 0, "table\tMSysObjects\t3\ntable\tOrders\t3\npages\t7\t7\t0\t0\nsound\n"},
        {{"Damaged.mdb"},
         1,
         "\ndamaged\ttable Orders, page 6: the page is in the table's map but is not a data page "
         "of that table\n"},
        {{"Unknown.mdb"},
         3,
         "\nnot checked\ttable Orders has a column Name of type 21, which this reader does not "
         "know\n"},
        {{"Full.mdb"},
         0,
         "pages\t471860\t7\t471853\t0\nwarning\t'" + (data / "Full.mdb").string() +
             "' is near the size limit of its format: 1932738560 bytes, 90 % of the 2147483648 "
             "bytes (2 GB) that a database of the 2000 format or later can hold; at the limit it "
             "takes no more data\nsound\n"},
        {{"Under.mdb"}, 0, "pages\t471859\t7\t471852\t0\nsound\n"},
        {{"Old.mdb"}, 1, "bytes, 90 % of the 1073741824 bytes (1 GB) that a database of the 1997"},
        {{"Gone.mdb"}, 2, "unreadable\tCannot open '" + (data / "Gone.mdb").string() + "': "},
        {{"Sound.mdb", "Damaged.mdb", "Unknown.mdb"},
         1,
         "file\t" + (data / "Damaged.mdb").string()},
        {{}, 2, "usage: tolvane-check FILE..."},
    };
    for (const auto& [files, status, output] : cases) {
        std::vector<std::string> paths;
        for (const std::string& file : files) paths.push_back(data / file);
        const Outcome run = Run("", TOLVANE_CHECK_BINARY, paths);
        SCOPED_TRACE(files.empty() ? "no file" : files[0] + (files.size() > 1 ? "…" : ""));
        EXPECT_EQ(run.Status(), status) << run.output;
        EXPECT_NE(run.output.find(output), std::string::npos) << run.output;
    }
}

}  // namespace
