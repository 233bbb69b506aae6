// Whole scripted runs through the real components, over and over, with the Nth system call
// failing (once for each of a few errno values) or ending the process as a crash would, for
// N = 1, 2, 3 … until a run reaches its end untouched; then a disk that loses a row of the
// copy, and names taken by someone else just before the run makes its own file there. After
// every run the database must be whole under its name or a backup name and what the run said
// must be true; so too after a power cut at the crash or once the run is over.
#include <sys/stat.h>

#include "components/posix/SystemCalls.h"
#include "fault/FaultInjection.h"
#include "start/StartModule.h"
#include "support/Invariant.h"

namespace {

using namespace WholeRun;
using Components::Posix::RealSystemCalls;
using Components::Posix::Sys;

struct Mode {
    int error;                    // what the call fails with; 0: the process dies there
    bool unnamedFiles = true;     // whether the engine may make its copy with O_TMPFILE
    bool fromThenOn = false;      // whether every later call fails too
    bool renameNoReplace = true;  // whether the file system renames without replacing
};

std::string ModeName(const Mode& mode) {
    return std::string(mode.error == 0 ? "Crash" : strerrorname_np(mode.error)) +
           (mode.unnamedFiles ? "" : "_NoUnnamedFiles") + (mode.fromThenOn ? "_FromThenOn" : "") +
           (mode.renameNoReplace ? "" : "_RenameByLink");
}

void PrintTo(const Mode& mode, std::ostream* out) { *out << ModeName(mode); }

class Runs : public Scratch {
  protected:
    Runs() : Scratch(true) {}

    // One run with call `n` failing; the folders are made afresh for it.
    RunResult RunWithFault(long n) {
        Reset();
        const fs::path db = data / "Shop.mdb";
        WriteFile(db, old);
        struct stat status {};
        ::stat(db.c_str(), &status);
        oldInode = status.st_ino;
        const Outcome outcome =
            Wait(Start(db.string() + "\ny\ny\n\n\n\n", [&] { return Child(n); }));
        const int wait = outcome.wait;
        const bool crashed = WIFSIGNALED(wait) && WTERMSIG(wait) == SIGKILL;
        RunResult run{crashed || outcome.Status() == 10, crashed, outcome.output, {}};
        if (!run.fired && !run.crashed && outcome.Status() != 0) {
            ADD_FAILURE() << "call " << n << ": the run ended abnormally (" << wait << ")\n"
                          << run.output;
        }
        if (crashed) {
            run.files = FaultInjection::Cut(root / "cut");
            return run;
        }
        run.files = FilesIn(data);
        return run;
    }

    // The program's own run, on a file system as `mode` says, with the table made
    // faulty first.
    int Child(long n) {
        if (!mode.unnamedFiles) {
            Sys().Open = [](const char* path, int flags, mode_t mode) {
                if ((flags & O_TMPFILE) == O_TMPFILE) return errno = EOPNOTSUPP, -1;
                return RealSystemCalls().Open(path, flags, mode);
            };
        }
        if (!mode.renameNoReplace) {
            Sys().RenameNoReplace = [](const char*, const char*) { return errno = EINVAL, -1; };
        }
        if (losesRow) {
            Sys().Fsync = [](int fd) {  // the disk loses a row of the copy as it writes it
                struct stat status;
                if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
                    std::string bytes(static_cast<std::size_t>(status.st_size), '\0');
                    if (::pread(fd, bytes.data(), bytes.size(), 0) != status.st_size) _exit(126);
                    Database::DeleteRow(bytes, 1);
                    if (::pwrite(fd, bytes.data(), bytes.size(), 0) != status.st_size) _exit(126);
                }
                return ::fsync(fd);
            };
        }
        FaultInjection::Install(n, mode.error, mode.fromThenOn);
        FaultInjection::CutsShow(data, root / "cut");
        FaultInjection::PlantBefore(plant, "someone else's");
        std::string name = "tolvane";
        char* argv[] = {name.data(), nullptr};
        const int code = StartModule::Run(1, argv);
        FaultInjection::PowerCut();
        return FaultInjection::Fired() ? 10 : code;
    }

    Mode mode{0};
    bool losesRow = false;
    std::string plant;  // someone else's file appears under a name ending so, as it is made
    const std::string old = Database::Small();
    ino_t oldInode = 0;
};

class FaultLoop : public Runs, public ::testing::WithParamInterface<Mode> {};

TEST_P(FaultLoop, EveryCallFailingInTurnLosesNothing) {
    mode = GetParam();
    long n = 1, failures = 0, side = 1;  // the run's own thread's calls, then the other's
    for (;; n += side) {
        RunResult run = RunWithFault(n);
        std::string wrong = Violation(run, old, oldInode, data);
        if (wrong.empty() && !run.crashed) {  // and then the power goes
            run = {run.fired, true, run.output, FaultInjection::Cut(root / "cut")};
            wrong = Violation(run, old, oldInode, data);
        }
        if (!wrong.empty()) {
            std::string files;
            for (const auto& [name, file] : run.files) files += " " + name;
            const char* call = !run.fired ? " past the end" : mode.error ? " failing" : " crashing";
            ADD_FAILURE() << (n < 0 ? "copy's thread, call " : "call ") << std::abs(n) << call
                          << (run.crashed ? ", the power cut" : "") << ": " << wrong
                          << "\nfiles:" << files << "\n"
                          << run.output << "\nlog:\n"
                          << Log();
            if (++failures == 5) break;
        }
        if (!run.fired || std::abs(n) == 10000) {
            EXPECT_LT(std::abs(n), 10000) << "the loop did not reach a run without a fault";
            if (side == -1) break;
            n = 0, side = -1;
        }
    }
}

// Where the copy must be made under its name, a crash can leave it half written, so that is
// not run; every failure must still be mended or reported. Only the copy's making differs:
// EEXIST for the name that is taken, EIO for any other refusal. A disk that dies at some
// call makes the mending itself fail.
INSTANTIATE_TEST_SUITE_P(Modes, FaultLoop,
                         ::testing::Values(Mode{EIO}, Mode{ENOSPC}, Mode{EACCES}, Mode{EEXIST},
                                           Mode{EXDEV}, Mode{0}, Mode{EIO, false},
                                           Mode{EEXIST, false}, Mode{EIO, true, true},
                                           Mode{EIO, true, false, false}),
                         [](const auto& info) { return ModeName(info.param); });

// A copy that lost a row is reported with the engine's 3056, which names it; it stays for the
// user to look at, and the database stays under its name: no backup is made.
TEST_F(Runs, ACopyThatLostARowIsKeptAndNamedAndTheDatabaseStays) {
    losesRow = true;
    std::string lost = old;
    Database::DeleteRow(lost, 1);
    for (const bool unnamedFiles : {true, false}) {
        mode.unnamedFiles = unnamedFiles;
        const RunResult run = RunWithFault(0);
        EXPECT_NE(run.output.find("holds 2 of the 3 rows of table Orders; the database has not "
                                  "been replaced (3056)"),
                  std::string::npos)
            << run.output;
        ASSERT_EQ(run.files.size(), 2u);
        EXPECT_TRUE(run.files.at("Shop.mdb").inode == oldInode &&
                    run.files.at("Shop.mdb").bytes == old);
        for (const auto& [name, file] : run.files) {
            if (name == "Shop.mdb") continue;
            EXPECT_TRUE(std::regex_match(name, std::regex("TOL[0-9A-F]{4}\\.MDB"))) << name;
            EXPECT_TRUE(file.bytes == lost) << "the copy as the disk left it";
            EXPECT_NE(run.output.find("'" + (data / name).string() + "'"), std::string::npos);
        }
    }
}

// Someone else's file appears under a name just before the run makes its own there: the
// reservation of the temporary name, the engine's copy, the backup and the database's name
// for the copy (and then for the database again). It is never touched, and what the run
// says and leaves is as true as after any failure.
TEST_F(Runs, NothingUnderANameThatIsTakenIsEverTouched) {
    const struct {
        std::string plant;
        Mode mode;
        bool succeeds;  // a name to reserve is simply passed over
    } cases[] = {
        {".TMP", Mode{0}, true},
        {".MDB", Mode{0}, false},
        {".MDB", Mode{0, false}, false},
        {"-0001.BAK", Mode{0}, false},
        {"/Shop.mdb", Mode{0}, false},
        {"-0001.BAK", Mode{0, true, false, false}, false},
        {"/Shop.mdb", Mode{0, true, false, false}, false},
    };
    for (const auto& c : cases) {
        plant = c.plant;
        mode = c.mode;
        RunResult run = RunWithFault(0);
        SCOPED_TRACE(c.plant + (c.mode.unnamedFiles ? "" : ", no unnamed files") +
                     (c.mode.renameNoReplace ? "" : ", rename by link"));
        std::string planted;
        for (const auto& [name, file] : run.files) {
            if (("/" + name).ends_with(c.plant) && file.bytes == "someone else's") planted = name;
        }
        ASSERT_FALSE(planted.empty()) << "someone else's file is gone or changed";
        run.files.erase(planted);
        run.fired = true;
        EXPECT_EQ(Violation(run, old, oldInode, data), "") << run.output;
        EXPECT_EQ(run.output.find(kSuccess) != std::string::npos, c.succeeds) << run.output;
    }
}

}  // namespace
