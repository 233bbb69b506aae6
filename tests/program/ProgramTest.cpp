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

namespace fs = std::filesystem;

namespace {

const std::string kSuccess =
    "Your Database has been successfully Compacted/Repaired and the old version saved in a new "
    "file with a '.BAK' extension";
const std::string kWarning =
    "That is not a valid database file and cannot be compacted or repaired";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A small database of the 2000 format: a recognisable header and whole pages.
std::string DatabaseBytes(int pages = 3, char version = 1) {
    const std::size_t pageSize = version == 0 ? 2048 : 4096;
    std::string bytes(pageSize * pages, '\0');
    bytes.replace(4, 16, std::string("Standard Jet DB\0", 16));
    bytes[0x14] = version;
    for (std::size_t i = 0x100; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 % 251);
    return bytes;
}

struct Outcome {
    int status;
    std::string output;
};

class Program : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tolvane-program-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        data = root / "data";
        fs::create_directories(data);
        fs::create_directories(root / "config/tolvane");
        WriteFile(root / "config/tolvane/logging-level", "-1\n");
    }
    void TearDown() override { fs::remove_all(root); }

    Outcome Run(const std::string& input) {
        const fs::path in = root / "stdin", out = root / "stdout";
        WriteFile(in, input);
        const pid_t child = fork();
        if (child == 0) {
            setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
            setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
            setenv("TMPDIR", (root / "tmp").c_str(), 1);
            const int inFd = open(in.c_str(), O_RDONLY);
            const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(inFd, 0);
            dup2(outFd, 1);
            dup2(outFd, 2);
            execl(TOLVANE_BINARY, TOLVANE_BINARY, static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out)};
    }

    std::set<std::string> Files() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(data))
            names.insert(entry.path().filename());
        return names;
    }

    std::string Log() const {
        std::string text;
        if (!fs::exists(root / "state/tolvane")) return text;
        for (const auto& entry : fs::directory_iterator(root / "state/tolvane")) {
            text += ReadFile(entry.path());
        }
        return text;
    }

    fs::path root, data;
};

TEST_F(Program, YesTwiceCompactsAndKeepsTheOldBytesInTheFirstBackup) {
    const fs::path db = data / "Shop.mdb";
    const std::string old = DatabaseBytes();
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
    const std::string old = DatabaseBytes();
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
    const std::string old = DatabaseBytes();
    WriteFile(db, old);
    WriteFile(data / "Shop-0001.BAK", "one");
    WriteFile(data / "Shop-0002.BAK", "two");
    Run(db.string() + "\ny\ny\n\n");
    EXPECT_EQ(ReadFile(data / "Shop-0003.BAK"), old);
    EXPECT_EQ(ReadFile(data / "Shop-0001.BAK"), "one");

    fs::remove(data / "Shop-0001.BAK");
    fs::remove(data / "Shop-0003.BAK");
    Run(db.string() + "\ny\ny\n\n");
    EXPECT_EQ(ReadFile(data / "Shop-0001.BAK"), old);
    EXPECT_EQ(ReadFile(data / "Shop-0002.BAK"), "two");
}

TEST_F(Program, DatabaseInUseIsReportedAndLeftAlone) {
    const fs::path db = data / "Shop.mdb";
    const std::string old = DatabaseBytes();
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
    WriteFile(db, DatabaseBytes());
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
    WriteFile(db, DatabaseBytes());
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
