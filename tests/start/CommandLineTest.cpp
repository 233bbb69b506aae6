// Whole runs from the command line, each in a child with the platform's components: the exit
// status, the files left, the log at level 1 (the one line per database) and standard input,
// which an unattended run never reads.
#include <sys/file.h>

#include <regex>
#include <thread>

#include "components/Clock.h"
#include "components/CommandLine.h"
#include "components/posix/SystemCalls.h"
#include "start/StartModule.h"
#include "support/WholeRun.h"

namespace {

using namespace WholeRun;
using namespace std::chrono_literals;

// Two names of the lock file's 64-byte entries, one again, one in Latin-1, a cut-off one with
// a control byte: whoever has the database open, as far as the lock file can say.
const std::string kLockFile = [] {
    std::string bytes;
    for (const auto& [computer, user] : {std::pair<std::string, std::string>{"WS01", "Admin"},
                                         {"WS01", "Admin"},
                                         {"PC-\xC9T\xC9", "kim"}}) {
        bytes += computer + std::string(32 - computer.size(), '\0') + user +
                 std::string(32 - user.size(), '\0');
    }
    return bytes + "X\aY";
}();

struct Row {
    const char* name;
    std::vector<std::string> arguments;  // "@Name" is the data folder's file Name
    int status;
    std::set<std::string> compacted;  // each given a new file and its old one as -0001.BAK
    std::vector<std::string> log;     // the lines at level 1, "@" the data folder
    std::string said = "";            // on standard output or error
    std::string input = "";
    // The folder's disk has 4096 bytes left; the engine stalls in its copy, which is named
    // from the start as the Windows engine's; the test lets go of Held.mdb after two seconds;
    // the compacted Shop.mdb's fstat gives 90 % of its format's limit.
    enum { kNone, kNoRoom, kStall, kLetGo, kFull } plant = kNone;
};

const std::string kProblem =
    ": There was a problem Compacting/Repairing the database: @Y.mdb and the error's "
    "description was reported as : \"";

std::string Failed(const std::string& name, const std::string& how) {
    return std::regex_replace("'@Y.mdb' " + how + kProblem, std::regex("Y"), name);
}

std::string Compacted(const std::string& stem) {
    return "'@" + stem + ".mdb' compacted: # bytes before, # after; the old database is now '@" +
           stem + "-0001.BAK'";
}
const std::string kCompacted = Compacted("Shop"), kStale = Compacted("Stale"),
                  kInner = Compacted("sub/Inner");
const std::string kHeld =
    Failed("Held", "is in use and was left as it was; try again later: error 3045") +
    "Could not use '@Held.mdb'; file already in use by another process; its lock file names "
    "WS01 (user Admin), PC-\u00C9T\u00C9 (user kim), X?Y. (3045)\"";
const std::string kGone =
    "'@Gone.mdb' names no database file, or an empty one; nothing was done for it";

// 1932738560 is the first whole 4096-byte page at or past 90 % of 2^31.
const std::string kNearLimit =
    "'@Shop.mdb' is near the size limit of its format: 1932738560 bytes, 90 % of the 2147483648 "
    "bytes (2 GB) that a database of the 2000 format or later can hold; at the limit it takes no "
    "more data";

const Row kRows[] = {
    {"Compacted", {"--compact", "@Shop.mdb"}, 0, {"Shop"}, {kCompacted}},
    {"InUseAfterItsWaitAndNamedByItsLockFile",
     {"/COMPACT", "--WAIT", ".02", "@Held.mdb"},
     1,
     {},
     {kHeld}},
    {"InUseUntilLetGoWhileTheOthersGoFirst",
     {"--compact", "--wait", "1", "@Held.mdb", "@Shop.mdb"},
     0,
     {"Held", "Shop"},
     {kCompacted, Compacted("Held")},
     "",
     "",
     Row::kLetGo},
    {"AStalledEngineStoppedAtItsTimeLimit",
     {"--compact", "--timeout", "0.02", "@Shop.mdb"},
     3,
     {},
     {"'@Shop.mdb' was not compacted: the engine did not finish within 0.02 minutes and was "
      "stopped; the database is as it was"},
     "",
     "",
     Row::kStall},
    {"ATimeLimitOfNothing",
     {"--compact", "--timeout", "0", "@Shop.mdb"},
     2,
     {},
     {"Wrong command line: --timeout takes minutes, more than 0 to 1440 (0.5 is thirty seconds)."},
     "--timeout takes"},
    {"ALockFileAloneDecidesNothing", {"--compact", "@Stale.mdb"}, 0, {"Stale"}, {kStale}},
    {"TheHighestStatusOfSeveral",
     {"@Shop.mdb", "@Gone.mdb", "--compact", "@Text.mdb", "@Held.mdb"},
     3,
     {"Shop"},
     {kCompacted, kGone,
      Failed("Text", "was not compacted: error 3343") +
          "Unrecognized database format '@Text.mdb': it does not begin as a database file does. "
          "(3343)\"",
      kHeld}},
    {"NoRoomWritesNothing",
     {"--compact", "@Shop.mdb"},
     3,
     {},
     {Failed("Shop", "was not compacted: error 3026") +
      "Not enough space on disk for a compacted copy of '@Shop.mdb': it needs # bytes and its "
      "folder has 4096 bytes free. (3026)\""},
     "",
     "",
     Row::kNoRoom},
    {"AnUnknownOption",
     {"--compact", "--force", "@Shop.mdb"},
     2,
     {},
     {"Wrong command line: Unknown option --force."},
     "Unknown option --force.\n\nUsage:"},
    {"AWorkgroupWithoutItsUser",
     {"--compact", "--workgroup", "@Shop.mdb", "@Shop.mdb"},
     2,
     {},
     {"Wrong command line: --workgroup and --user go together."},
     "go together.\n\nUsage:"},
    {"ThroughALinkElsewhere", {"--compact", "@../Link.mdb"}, 0, {"Shop"}, {kCompacted}},
    {"Help", {"/?"}, 0, {}, {}, "Usage:\n  <program>\n"},
    // What a folder or pattern takes: never backups, lock files, our own copies or other files.
    {"APattern", {"--compact", "@S*"}, 0, {"Shop", "Stale"}, {kCompacted, kStale}},
    {"AFolder", {"--compact", "@sub"}, 0, {}, {kInner}},
    {"AFolderWithItsSubfoldersAndAFileInItNamedAgain",
     {"--compact", "--recursive", "@sub", "@sub/../sub/Inner.mdb"},
     0,
     {},
     {kInner, Compacted("sub/deeper/Deep")}},
    {"APatternThatMatchesNothing",
     {"--compact", "@*.accdb"},
     2,
     {},
     {"'@*.accdb' matches no database file; nothing was done for it"}},
    {"AnOptionOfCompactRunsAlone",
     {"--keep", "2", "@Shop.mdb"},
     2,
     {},
     {"Wrong command line: --keep belongs to /compact runs."},
     "--keep belongs"},
    {"APathInTheDialogsPlace",
     {"Shop.mdb"},
     0,
     {"Shop"},
     {},
     "\n== Tolvane [Question] ==\nAre you sure you want to Compact/Repair this "
     "database?\n\n@Shop.mdb\n",
     "y\ny\n\n"},
    {"NearTheLimit",
     {"--compact", "@Shop.mdb"},
     0,
     {"Shop"},
     {kCompacted, kNearLimit},
     "",
     "",
     Row::kFull},
    {"NearTheLimitInTheDialogsPlace",
     {"Shop.mdb"},
     0,
     {"Shop"},
     {kNearLimit},
     kSuccess + "\n[OK] (press Enter) \n\n== Tolvane [Warning] ==\n" + kNearLimit + "\n",
     "y\ny\n\n\n",
     Row::kFull},
};

// Tries again every tenth of a second, so that no run waits ten seconds.
struct QuickRetries final : Components::Clock {
    std::unique_ptr<Clock> real = CreatePlatformInstance(Components::Tag<Clock>{});
    Components::LocalTime Now() override { return real->Now(); }
    std::string TimeSeparator() override { return real->TimeSeparator(); }
    std::chrono::milliseconds RetryInterval() override { return 100ms; }
};

// The database as it was: only the copy that takes its name has the faked size.
struct stat g_original;

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class CommandLine : public Scratch, public ::testing::WithParamInterface<Row> {
  protected:
    CommandLine() : Scratch(true) {
        WriteFile(root / "config/tolvane/logging-level", "1\n");
        for (const char* name : {"Shop.mdb", "Held.mdb", "Stale.mdb"}) WriteFile(data / name, old);
        WriteFile(data / "Held.ldb", kLockFile);
        WriteFile(data / "Stale.ldb", kLockFile);
        WriteFile(data / "Empty.mdb", "");
        WriteFile(data / "Text.mdb", "just some text");
        WriteFile(data / "Shop-0007.BAK", old);
        fs::create_directories(data / "sub/deeper");
        for (const char* name : {"sub/Inner.mdb", "sub/deeper/Deep.mdb", "sub/TOL1A2B.MDB",
                                 "sub/TOLF3.MDB", "sub/notes.txt", "sub/Inner.ldb"})
            WriteFile(data / name, old);
        // Outside the data folder: a run through it compacts beside the database, never beside
        // the link, and every run leaves it a link.
        fs::create_symlink(data / "Shop.mdb", root / "Link.mdb");
    }

    // The size for #, the data folder for @, and for <program> this test program's own name,
    // which the usage text names.
    std::string Here(std::string text) const {
        text = std::regex_replace(text, std::regex("<program>"),
                                  fs::read_symlink("/proc/self/exe").filename().string());
        text = std::regex_replace(text, std::regex("#"), std::to_string(old.size()));
        return std::regex_replace(text, std::regex("@"), data.string() + "/");
    }

    const std::string old = Database::Small();
};

TEST_P(CommandLine, EndsWithItsStatusAndOneLogLinePerDatabase) {
    const Row& row = GetParam();
    std::map<std::string, ino_t> before;
    for (const auto& entry : fs::directory_iterator(data)) {
        struct stat status {};
        ::stat(entry.path().c_str(), &status);
        before[entry.path().filename()] = status.st_ino;
    }
    // Another process holds the engine's lock on Held.mdb for the whole run.
    const int held = open((data / "Held.mdb").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    const auto began = std::chrono::steady_clock::now();
    const pid_t child = Start(row.input, [&] {
        using namespace Components;
        Instance<Clock>::Install(std::make_unique<QuickRetries>());
        if (row.plant == Row::kStall) {
            Posix::Sys().Stat = [](const char* path, struct stat* status) {
                return std::string(path) == "/proc/self/fd"
                           ? -1
                           : Posix::RealSystemCalls().Stat(path, status);
            };
            Posix::Sys().CopyFileRange = [](int, int, std::size_t) -> ssize_t {
                for (;;) pause();
            };
        }
        if (row.plant == Row::kFull) {
            struct stat status {};
            ::stat((data / "Shop.mdb").c_str(), &status);
            g_original = status;
            Components::Posix::Sys().Fstat = [](int fd, struct stat* s) {
                const int result = Components::Posix::RealSystemCalls().Fstat(fd, s);
                const bool copy =
                    s->st_ino != g_original.st_ino && s->st_size == g_original.st_size;
                if (result == 0 && copy) s->st_size = 1932738560;
                return result;
            };
        }
        if (row.plant == Row::kNoRoom) {
            Components::Posix::Sys().Statvfs = [](const char*, struct statvfs* s) {
                *s = {};
                s->f_frsize = 4096;
                s->f_bavail = 1;
                return 0;
            };
        }
        std::vector<std::string> arguments{"module_tests"};
        for (const std::string& argument : row.arguments) {
            arguments.push_back(argument[0] == '@' ? (data / argument.substr(1)).string()
                                                   : argument);
        }
        if (chdir(data.c_str()) != 0) return 126;
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        Components::KeepStartArguments(static_cast<int>(argv.size()), argv.data());
        const int status = StartModule::Main();
        // Unattended, not a byte of standard input is read.
        return row.input.empty() && lseek(0, 0, SEEK_CUR) != 0 ? 100 : status;
    });
    if (row.plant == Row::kLetGo) std::this_thread::sleep_for(2s), flock(held, LOCK_UN);
    const Outcome run = Wait(child);
    close(held);
    // Well within a run's own limit, and nothing the run started holds a database after it.
    EXPECT_LT(std::chrono::steady_clock::now() - began, 9s);
    const int shop = open((data / "Shop.mdb").c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(flock(shop, LOCK_EX | LOCK_NB), 0) << "Shop.mdb is still held";
    close(shop);
    EXPECT_EQ(ReadFile(data / "Shop.mdb"), old) << "the engine copies byte for byte";

    EXPECT_EQ(run.Status(), row.status) << run.output;
    // A run that compacts ends with the tally, in the log and on standard error as each line.
    const bool ran = row.said.empty() && row.input.empty();
    std::string lines;
    for (const std::string& line : row.log) lines += Here(line) + "\n";
    if (ran) {
        const auto count = [&](const char* what) {
            return std::to_string(std::count_if(row.log.begin(), row.log.end(), [&](auto& line) {
                return line.find(what) != std::string::npos;
            }));
        };
        lines += "The run: " + count("' compacted: ") + " compacted, " + count("in use and") +
                 " in use, " +
                 std::to_string(row.log.size() - std::stoi(count("in use and")) -
                                std::stoi(count("' compacted: ")) - std::stoi(count("near the"))) +
                 " failed; 0 bytes gained in T s\n";
    }
    // The time of day and the run's length as T.
    const auto masked = [](std::string text) {
        const auto all = std::regex::multiline;
        text = std::regex_replace(text, std::regex("\r"), "");
        text = std::regex_replace(text, std::regex("^[0-9]{2}:[0-9]{2}:[0-9]{2} ", all), "");
        return std::regex_replace(text, std::regex("in [0-9]+\\.[0-9] s$", all), "in T s");
    };
    EXPECT_EQ(masked(Log()), lines);
    EXPECT_NE(run.output.find(Here(row.said)), std::string::npos) << run.output;
    if (ran) {
        EXPECT_EQ(masked(run.output), lines);
    }
    std::set<std::string> files;
    for (const auto& [name, inode] : before) files.insert(name);
    for (const std::string& stem : row.compacted) files.insert(stem + "-0001.BAK");
    EXPECT_EQ(Files(), files);
    for (const auto& [name, inode] : before) {
        struct stat now {};
        ::stat((data / name).c_str(), &now);
        const bool replaced =
            row.compacted.contains(name.substr(0, name.find('.'))) && name.ends_with(".mdb");
        EXPECT_EQ(now.st_ino != inode, replaced) << name;
    }
    EXPECT_EQ(fs::read_symlink(root / "Link.mdb"), data / "Shop.mdb") << "a link still";
}

INSTANTIATE_TEST_SUITE_P(Runs, CommandLine, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
