// The real program killed at random moments while it compacts a large database: after every
// kill the database's bytes must still be whole under its name or its backup's, nothing
// unfinished may be left beside them, and a rerun must then succeed.
#include <signal.h>

#include <chrono>
#include <cstring>
#include <random>
#include <regex>
#include <thread>

#include "program/ProgramSupport.h"

using namespace ProgramTest;

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

constexpr std::size_t kPage = 4096, kChunk = 1 << 20;
constexpr std::uint64_t kChunks = 256;  // 256 MiB
constexpr int kKills = 20;

// One mebibyte of the database: a small valid database at the start, then pages the format
// counts as free, each with its number in its last eight bytes, so that a page lost, doubled
// or moved shows.
std::string Chunk(std::uint64_t index) {
    static const std::string small = TestDatabase::Make();
    std::string chunk(kChunk, '\0');
    if (index == 0) chunk.replace(0, small.size(), small);
    for (std::uint64_t page = 0; page < kChunk / kPage; ++page) {
        const std::uint64_t number = index * (kChunk / kPage) + page;
        if (number < TestDatabase::UsedPages()) continue;
        std::memcpy(chunk.data() + (page + 1) * kPage - sizeof number, &number, sizeof number);
    }
    return chunk;
}

void WriteDatabase(const fs::path& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    for (std::uint64_t i = 0; i < kChunks; ++i) {
        ASSERT_EQ(write(fd, Chunk(i).data(), kChunk), static_cast<ssize_t>(kChunk));
    }
    // On disk before the program runs, so that its writing back does not slow the first run.
    fsync(fd);
    close(fd);
}

// Whether the file holds the database's bytes, whole.
bool Holds(const fs::path& path) {
    std::error_code error;
    if (fs::file_size(path, error) != kChunks * kChunk) return false;
    const int fd = open(path.c_str(), O_RDONLY);
    std::string buffer(kChunk, '\0');
    bool same = fd >= 0;
    for (std::uint64_t i = 0; same && i < kChunks; ++i) {
        same = pread(fd, buffer.data(), kChunk, static_cast<off_t>(i * kChunk)) ==
                   static_cast<ssize_t>(kChunk) &&
               buffer == Chunk(i);
    }
    if (fd >= 0) close(fd);
    return same;
}

// Whether the program has a file open in the database's folder besides the database: the
// copy it is writing.
bool Copying(pid_t pid, const fs::path& folder, const fs::path& database) {
    try {
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
            std::error_code error;
            const std::string target = fs::read_symlink(fd.path(), error).string();
            if (target.starts_with(folder.string() + "/") && target != database.string()) {
                return true;
            }
        }
    } catch (const fs::filesystem_error&) {
        // gone meanwhile
    }
    return false;
}

class Crash : public Program {
  protected:
    pid_t Start(const std::string& input) {
        return Scratch::Start(input, [] {
            return execl(TOLVANE_BINARY, TOLVANE_BINARY, static_cast<char*>(nullptr));
        });
    }

    // Runs the program to its end, watching when (in ms from its start) it has its copy open.
    struct Watched {
        double took = 0, from = -1, to = -1;
        bool succeeded = false;
    };
    Watched Watch(const std::string& input, const fs::path& database) {
        const Clock::time_point started = Clock::now();
        const pid_t child = Start(input);
        Watched seen;
        int status = 0;
        while (waitpid(child, &status, WNOHANG) == 0) {
            const double now = Milliseconds(Clock::now() - started).count();
            if (Copying(child, data, database)) {
                if (seen.from < 0) seen.from = now;
                seen.to = now;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        seen.took = Milliseconds(Clock::now() - started).count();
        seen.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                         ReadFile(root / "stdout").find(kSuccess) != std::string::npos;
        return seen;
    }

    // Leaves the database alone in its folder, whole.
    void Restore(const fs::path& database, bool whole) {
        for (const std::string& name : Files()) {
            if (name != database.filename()) fs::remove(data / name);
        }
        if (!whole) WriteDatabase(database);
    }
};

TEST_F(Crash, KilledAnywhereTheDatabaseSurvivesWholeAndARerunSucceeds) {
    const fs::path db = data / "Shop.mdb";
    const std::string answers = db.string() + "\ny\ny\n\n";
    WriteDatabase(db);
    const char* given = std::getenv("TOLVANE_CRASH_SEED");
    const std::uint64_t seed =
        given != nullptr ? std::strtoull(given, nullptr, 10) : std::random_device{}();
    std::cout << "seed " << seed << " (TOLVANE_CRASH_SEED=" << seed
              << " draws the same points again, in proportion to the runs' pace)\n";
    std::mt19937_64 random(seed);

    // A whole run first, watched. The reruns are watched too, and each kill is placed by the
    // last of them, so the kills keep to the machine's pace.
    Watched last = Watch(answers, db);
    ASSERT_TRUE(last.succeeded && last.from >= 0 && Holds(db));
    Restore(db, true);

    const std::regex backupName("Shop-[0-9]{4}\\.BAK"), copyName("TOL[0-9A-F]{4}\\.MDB");
    const std::regex reservedName("TOL[0-9A-F]{4}\\.TMP");
    // A run that ends before its kill is checked as well but does not count as one. However
    // slow the machine, the test stops in time.
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(300);
    int kills = 0, tries = 0;
    for (; kills < kKills && tries < 2 * kKills && Clock::now() < deadline; ++tries) {
        // Two in three inside the copy, the rest anywhere from the start to past the end.
        const double at = tries % 3 != 0
                              ? std::uniform_real_distribution(last.from, last.to)(random)
                              : std::uniform_real_distribution(0.0, last.took * 1.05)(random);
        const Clock::time_point begun = Clock::now();
        const pid_t child = Start(answers);
        std::this_thread::sleep_until(begun + Milliseconds(at));
        const bool ended = waitpid(child, nullptr, WNOHANG) == child;
        const bool copying = !ended && Copying(child, data, db);
        if (!ended) {
            ++kills;
            ::kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }

        std::vector<fs::path> backups, copies, others;
        for (const std::string& name : Files()) {
            if (std::regex_match(name, backupName)) {
                backups.push_back(data / name);
            } else if (std::regex_match(name, copyName)) {
                copies.push_back(data / name);
            } else if (name != db.filename() &&
                       !(std::regex_match(name, reservedName) && fs::file_size(data / name) == 0)) {
                others.push_back(data / name);  // an empty reserved name holds nothing
            }
        }
        const bool named = fs::exists(db);
        bool backedUp = false;
        for (const fs::path& backup : backups) backedUp = backedUp || Holds(backup);
        // Where it landed, from the files it left and the files it had open.
        std::string where = "before the copy";
        if (ended) {
            where = "after the run's end";
        } else if (copying) {
            where = "in the copy";
        } else if (!copies.empty()) {
            where = named && backups.empty() ? "after the copy, before the renames"
                                             : "between the renames";
        } else if (!backups.empty()) {
            where = "after the renames";
        }
        SCOPED_TRACE("try " + std::to_string(tries + 1) + " at " + std::to_string(at) + " ms, " +
                     where);

        EXPECT_TRUE((named && Holds(db)) || backedUp) << "the database's bytes are lost";
        EXPECT_TRUE(others.empty()) << others.front();
        if (!copies.empty()) {
            // A copy may stand under its temporary name only whole, and only in the two
            // moments after it is named: before the first rename, beside the untouched
            // database; between the renames, beside the backup.
            const bool whole = copies.size() == 1 && Holds(copies[0]);
            EXPECT_TRUE(whole && (named ? backups.empty() && Holds(db) : backedUp))
                << "a copy is left behind: " << copies.front();
            if (!named && copies.size() == 1) fs::rename(copies[0], db);  // what the user would do
        }

        const std::set<std::string> before = Files();
        const Watched rerun = Watch(answers, db);
        EXPECT_TRUE(rerun.succeeded) << ReadFile(root / "stdout");
        const bool whole = Holds(db);
        EXPECT_TRUE(whole) << "the rerun's copy";
        if (rerun.succeeded && rerun.from >= 0) last = rerun;
        int newBackups = 0;
        for (const std::string& name : Files()) {
            if (!before.contains(name) && std::regex_match(name, backupName)) {
                EXPECT_TRUE(Holds(data / name)) << name;
                ++newBackups;
            }
        }
        EXPECT_EQ(newBackups, 1) << "the rerun's backup";
        Restore(db, whole);
    }
    EXPECT_EQ(kills, kKills) << "runs ended before their kills, or the time ran out";
}

}  // namespace
