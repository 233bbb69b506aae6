// A whole scripted run, over and over, with the Nth system call failing (once for each of a
// few errno values) or ending the process as a crash would, for N = 1, 2, 3 … until a run
// reaches its end untouched. After every run the database must still be there, whole.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <regex>

#include "components/CurrentError.h"
#include "components/UserInterface.h"
#include "components/posix/SystemCalls.h"
#include "fault/FaultInjection.h"
#include "start/StartModule.h"
#include "support/WholeRun.h"

namespace {

using namespace WholeRun;

struct File {
    ino_t inode;
    std::string bytes;
};

struct RunResult {
    bool fired, crashed;
    std::string output;
    std::map<std::string, File> files;  // the database's folder after the run
};

struct Mode {
    int error;                 // what the call fails with; 0: the process dies there
    bool unnamedFiles = true;  // whether the engine may make its copy with O_TMPFILE
    bool fromThenOn = false;   // whether every later call fails too
    bool losesRow = false;     // whether the disk loses a row of the copy before it is read back
};

std::string ModeName(const Mode& mode) {
    return std::string(mode.error == 0 ? "Crash" : strerrorname_np(mode.error)) +
           (mode.unnamedFiles ? "" : "_NoUnnamedFiles") + (mode.fromThenOn ? "_FromThenOn" : "");
}

void PrintTo(const Mode& mode, std::ostream* out) { *out << ModeName(mode); }

class FaultLoop : public Scratch, public ::testing::WithParamInterface<Mode> {
  protected:
    FaultLoop() : Scratch(true) {}

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
        for (const auto& entry : fs::directory_iterator(data)) {
            ::stat(entry.path().c_str(), &status);
            run.files[entry.path().filename()] = {status.st_ino, ReadFile(entry.path())};
        }
        return run;
    }

    // What the program's own main does, with the table made faulty first.
    int Child(long n) {
        if (!GetParam().unnamedFiles) {
            Components::Posix::Sys().Open = [](const char* path, int flags, mode_t mode) {
                if ((flags & O_TMPFILE) == O_TMPFILE) {
                    errno = EOPNOTSUPP;
                    return -1;
                }
                return Components::Posix::RealSystemCalls().Open(path, flags, mode);
            };
        }
        if (GetParam().losesRow) {
            Components::Posix::Sys().Fsync = [](int fd) {
                struct stat status;
                if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
                    std::string bytes(static_cast<std::size_t>(status.st_size), '\0');
                    if (::pread(fd, bytes.data(), bytes.size(), 0) != status.st_size) _exit(126);
                    TestDatabase::DeleteRow(bytes, 1);
                    if (::pwrite(fd, bytes.data(), bytes.size(), 0) != status.st_size) _exit(126);
                }
                return ::fsync(fd);
            };
        }
        FaultInjection::Install(n, GetParam().error, GetParam().fromThenOn);
        int code = 0;
        try {
            StartModule::Main();
        } catch (...) {
            const Err::Error error = Err::Capture(std::current_exception());
            try {
                Ui::MsgBox("Run-time error '" + std::to_string(error.Number()) + "':\n\n" +
                               error.Description(),
                           Components::kMbIconStop);
            } catch (...) {
                std::cerr << "Run-time error " << error.Number() << "\n";
            }
            code = 1;
        }
        return FaultInjection::Fired() ? 10 : code;
    }

    // What is wrong with what the run left, empty when nothing is.
    std::string Violation(const RunResult& run) const {
        const std::regex temporary("TOL[0-9A-F]{4}\\.(MDB|TMP)"), backup("Shop-[0-9]{4}\\.BAK");
        std::string oldName;
        std::vector<std::string> copies, emptyReservations;
        for (const auto& [name, file] : run.files) {
            const bool isTemporary = std::regex_match(name, temporary);
            if (name != "Shop.mdb" && !isTemporary && !std::regex_match(name, backup)) {
                return "a stray file " + name;
            }
            if (file.inode == oldInode && file.bytes == old) oldName = name;
            if (isTemporary && name.ends_with(".TMP")) {
                if (!file.bytes.empty()) return "a temporary-name file with bytes in it";
                emptyReservations.push_back(name);
            } else if (isTemporary) {
                copies.push_back(name);
            }
        }
        if (oldName.empty()) return "the database's bytes are lost";
        const auto has = [&](const std::string& name, bool oldOne) {
            const auto it = run.files.find(name);
            return it != run.files.end() && it->second.bytes == old &&
                   (it->second.inode == oldInode) == oldOne;
        };
        const std::string folder = (root / "data/").string();

        if (run.crashed) {
            // Before the copy is named: at most the temporary name's empty file.
            if (run.files.size() == 1 + emptyReservations.size() && emptyReservations.size() <= 1 &&
                oldName == "Shop.mdb") {
                return "";
            }
            // Only a whole copy ever has the temporary name: before the first rename,
            // between the two, after the second.
            if (run.files.size() == 2 && copies.size() == 1 && has(copies[0], false) &&
                (oldName == "Shop.mdb" || oldName == "Shop-0001.BAK")) {
                return "";
            }
            if (run.files.size() == 2 && has("Shop.mdb", false) && oldName == "Shop-0001.BAK") {
                return "";
            }
            return "the crash left a state no step of the run makes";
        }

        const bool success = run.output.find(kSuccess) != std::string::npos;
        if (success) {
            if (!has("Shop.mdb", false)) return "success, but no compacted copy in place";
            if (!std::regex_match(oldName, backup)) return "success, but no backup";
            if (!copies.empty()) return "success, and a copy left over";
            return "";
        }
        if (!run.fired) return "the run without a fault did not succeed";
        if (run.output.find("There was a problem") == std::string::npos &&
            run.output.find("Error getting a temporary file name") == std::string::npos &&
            run.output.find("Run-time error") == std::string::npos &&
            run.output.find(kWarning) == std::string::npos) {
            return "nothing was reported";
        }
        if (oldName != "Shop.mdb" && run.output.find(folder + oldName) == std::string::npos) {
            return "the database was moved to " + oldName + " and the report does not say so";
        }
        for (const std::string& copy : copies) {
            if (run.output.find(folder + copy) == std::string::npos) {
                return "a copy " + copy + " is left and the report does not name it";
            }
        }
        return "";
    }

    const std::string old = TestDatabase::Make();
    ino_t oldInode = 0;
};

TEST_P(FaultLoop, EveryCallFailingInTurnLosesNothing) {
    const auto start = std::chrono::steady_clock::now();
    long n = 1, failures = 0;
    for (;; ++n) {
        const RunResult run = RunWithFault(n);
        if (const std::string wrong = Violation(run); !wrong.empty()) {
            std::string files;
            for (const auto& [name, file] : run.files) files += " " + name;
            ADD_FAILURE() << "call " << n << (run.crashed ? " crashing" : " failing") << ": "
                          << wrong << "\nfiles:" << files << "\n"
                          << run.output << "\nlog:\n"
                          << Log();
            if (++failures == 5) break;
        }
        if (!run.fired || n == 10000) break;
    }
    EXPECT_LT(n, 10000) << "the loop did not reach a run without a fault";
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    std::printf("[ fault    ] %s: %ld runs (a whole run makes %ld calls), %lld ms\n",
                ModeName(GetParam()).c_str(), n, n - 1, static_cast<long long>(ms));
}

// Where the copy must be made under its name, a crash can leave it half written, so that is
// not run; every failure must still be mended or reported. Only the copy's making differs:
// EEXIST for the name that is taken, EIO for any other refusal. A disk that dies at some
// call makes the mending itself fail.
// A copy that lost a row is reported with the engine's 3056, which names it; it stays for the
// user to look at, and the database stays under its name: no backup is made.
using LostRow = FaultLoop;
TEST_P(LostRow, TheCopyIsKeptAndNamedAndTheDatabaseStays) {
    const RunResult run = RunWithFault(0);
    EXPECT_NE(run.output.find("holds 2 of the 3 rows of table Orders; the database has not been "
                              "replaced (3056)"),
              std::string::npos)
        << run.output;
    ASSERT_EQ(run.files.size(), 2u);
    EXPECT_TRUE(run.files.at("Shop.mdb").inode == oldInode &&
                run.files.at("Shop.mdb").bytes == old);
    std::string lost = old;
    TestDatabase::DeleteRow(lost, 1);
    for (const auto& [name, file] : run.files) {
        if (name == "Shop.mdb") continue;
        EXPECT_TRUE(std::regex_match(name, std::regex("TOL[0-9A-F]{4}\\.MDB"))) << name;
        EXPECT_TRUE(file.bytes == lost) << "the copy as the disk left it";
        EXPECT_NE(run.output.find("'" + (root / "data" / name).string() + "'"), std::string::npos);
    }
}
INSTANTIATE_TEST_SUITE_P(Disk, LostRow,
                         ::testing::Values(Mode{0, true, false, true}, Mode{0, false, false, true}),
                         [](const auto& info) {
                             return std::string(info.param.unnamedFiles ? "UnnamedFiles"
                                                                        : "NoUnnamedFiles");
                         });

INSTANTIATE_TEST_SUITE_P(Modes, FaultLoop,
                         ::testing::Values(Mode{EIO}, Mode{ENOSPC}, Mode{EACCES}, Mode{EEXIST},
                                           Mode{EXDEV}, Mode{0}, Mode{EIO, false},
                                           Mode{EEXIST, false}, Mode{EIO, true, true}),
                         [](const auto& info) { return ModeName(info.param); });

}  // namespace
