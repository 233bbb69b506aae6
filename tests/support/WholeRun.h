// What the tests of whole runs share: a scratch folder holding the database's folder, the log's
// folder and the level file; a run in a child process with scripted answers on standard input;
// and a look at what the run left behind.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace WholeRun {

namespace fs = std::filesystem;

inline const std::string kSuccess =
    "Your Database has been successfully Compacted/Repaired and the old version saved in a new "
    "file with a '.BAK' extension";
inline const std::string kWarning =
    "That is not a valid database file and cannot be compacted or repaired";

// In one piece rather than character by character, which in a debug build costs the many
// runs more than the runs themselves.
inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return std::move(bytes).str();
}

// What a shell command prints.
inline std::string Shell(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    for (int c; pipe != nullptr && (c = std::fgetc(pipe)) != EOF;) text += static_cast<char>(c);
    if (pipe != nullptr) pclose(pipe);
    return text;
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The small database of the 2000 format that the tests compact, made by a builder of our own:
// the catalog and one user table, Orders, with three rows on its one data page.
namespace Database {
constexpr std::size_t kPage = 4096;
constexpr std::uint32_t kTablePage = 5;      // the user table's definition
constexpr std::uint32_t kFirstRowsPage = 6;  // its rows
inline std::string Small() { return ReadFile(TOLVANE_SOURCE_DIR "/tests/support/Shop.mdb"); }
// Marks row `row` (0-based) deleted, as the engine does.
inline void DeleteRow(std::string& bytes, int row) {
    bytes[kFirstRowsPage * kPage + 15 + 2 * row] |= '\x80';
}
}  // namespace Database

struct Outcome {
    int wait;  // as waitpid gives it
    std::string output;
    int Status() const { return WIFEXITED(wait) ? WEXITSTATUS(wait) : -1; }
};

class Scratch : public ::testing::Test {
  protected:
    // In memory where there is such a file system, so that the many short runs cost no syncs.
    explicit Scratch(bool inMemory = false) {
        std::string pattern = (inMemory && fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp") +
                              std::string("/tolvane-run-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
        root = pattern;
        data = root / "data";
        Reset();
    }
    ~Scratch() override { fs::remove_all(root); }

    // Empty folders, and no level file: the default level.
    void Reset() {
        for (const char* folder : {"data", "state", "config/tolvane", "tmp"}) {
            fs::remove_all(root / folder);
            fs::create_directories(root / folder);
        }
    }

    // Starts `body` in a child whose standard input is `input` and whose output is kept; the
    // log, the settings and the temporary folder are the scratch folder's own, and the time
    // is written as the C locale writes it. The child ends with the status `body` returns.
    pid_t Start(const std::string& input, const std::function<int()>& body) {
        WriteFile(root / "stdin", input);
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
            setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
            setenv("TMPDIR", (root / "tmp").c_str(), 1);
            setenv("LC_ALL", "C", 1);
            alarm(120);  // a run stuck on its input ends as a failed run, not a hung suite
            const int in = open((root / "stdin").c_str(), O_RDONLY);
            const int out = open((root / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) {
                _exit(127);
            }
            const int status = body();
            std::cout.flush();
            std::fflush(nullptr);
            _exit(status);
        }
        return child;
    }

    Outcome Wait(pid_t child) {
        int wait = 0;
        waitpid(child, &wait, 0);
        return {wait, ReadFile(root / "stdout")};
    }

    std::set<std::string> Files() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(data))
            names.insert(entry.path().filename());
        return names;
    }

    // Every day's log in the order of the days: a run over midnight writes two.
    std::string Log() const {
        std::map<fs::path, std::string> days;
        if (fs::is_directory(root / "state/tolvane")) {
            for (const auto& entry : fs::directory_iterator(root / "state/tolvane"))
                days[entry.path()] = ReadFile(entry.path());
        }
        std::string text;
        for (const auto& [day, lines] : days) text += lines;
        return text;
    }

    void Level(const std::string& level) {
        WriteFile(root / "config/tolvane/logging-level", level + "\n");
    }

    fs::path root, data;
};

}  // namespace WholeRun
