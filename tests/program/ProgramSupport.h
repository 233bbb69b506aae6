// What the tests of the real program share: a scratch folder with the database folder, the
// log and the level file in it, and a run with scripted answers.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "components/posix/PosixTestSupport.h"

namespace ProgramTest {

namespace fs = std::filesystem;

inline const std::string kSuccess =
    "Your Database has been successfully Compacted/Repaired and the old version saved in a new "
    "file with a '.BAK' extension";
inline const std::string kWarning =
    "That is not a valid database file and cannot be compacted or repaired";

using PosixTest::ReadFile;
using PosixTest::WriteFile;

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

    // Runs the program with `input` on standard input, as many times as a test likes.
    Outcome Run(const std::string& input) {
        const fs::path in = root / "stdin", out = root / "stdout";
        WriteFile(in, input);
        std::string binary = TOLVANE_BINARY;
        if (unprivileged && geteuid() == 0) {
            // The build folder may lie below a folder only root can enter (a home folder,
            // a private temporary folder), so nobody runs a copy from the scratch folder.
            const fs::path copy = root / "bin" / fs::path(binary).filename();
            fs::create_directories(copy.parent_path());
            fs::copy_file(binary, copy, fs::copy_options::overwrite_existing);
            binary = copy;
            GiveToNobody();
        }
        const pid_t child = fork();
        if (child == 0) {
            setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
            setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
            setenv("TMPDIR", (root / "tmp").c_str(), 1);
            // A program stuck on its input ends as a failed run, not as a hung suite.
            alarm(kRunSeconds);
            const int inFd = open(in.c_str(), O_RDONLY);
            const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(inFd, 0);
            dup2(outFd, 1);
            dup2(outFd, 2);
            if (unprivileged && geteuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
                _exit(126);
            }
            execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
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

    // As root, permissions bind nobody; when `unprivileged`, the runs are made as user
    // nobody, who is given the scratch folder (the modes the test chose stay as they are).
    bool unprivileged = false;
    static constexpr unsigned kRunSeconds = 30;
    static constexpr uid_t kNobody = 65534;

    void GiveToNobody() const {
        fs::permissions(root,
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        if (lchown(root.c_str(), kNobody, kNobody) != 0) ADD_FAILURE() << "lchown " << root;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (lchown(entry.path().c_str(), kNobody, kNobody) != 0) {
                ADD_FAILURE() << "lchown " << entry.path();
            }
        }
    }

    fs::path root, data;
};

}  // namespace ProgramTest
