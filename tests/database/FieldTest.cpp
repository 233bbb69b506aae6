// The file servers of real users: another program at the database while its copy is proven or
// cutting it short while it is copied, NFS locks, file systems without a no-replace rename or
// hard links, a chmod refused, a database with two names, a share that stops answering. Each a
// whole compaction in a child, one system call changed.
#include <sys/file.h>

#include <cstring>
#include <utility>

#include "components/posix/SystemCalls.h"
#include "database/DAO_DatabaseFunctions.h"
#include "support/WholeRun.h"

namespace {

using namespace WholeRun;
using Components::Posix::RealSystemCalls;
using Components::Posix::Sys;

std::string g_db;  // the database's path; the child inherits it

// The first look for a free backup name comes between the engine's return and the renames.
template <void (*During)()>
int OnFirstBackupLookup(const char* path, struct stat* status) {
    static bool done = false;
    if (!done && std::string(path).ends_with(".BAK")) {
        done = true;
        During();
    }
    return RealSystemCalls().Stat(path, status);
}

void Edit() {
    const int fd = ::open(g_db.c_str(), O_WRONLY | O_APPEND);
    (void)!::write(fd, "edit", 4);
    ::close(fd);
}

// Another program cuts the database short once its copy has begun; where the kernel cannot copy
// (kInKernel false), the copy goes through the buffer.
constexpr std::size_t kCut = Database::kPage;
template <bool kInKernel>
ssize_t CutShort(int in, int out, std::size_t count) {
    static bool done = false;
    if (!std::exchange(done, true)) (void)!::truncate(g_db.c_str(), kCut);
    return kInKernel ? RealSystemCalls().CopyFileRange(in, out, count) : (errno = EXDEV, -1);
}

void TryToLock() {
    const int fd = ::open(g_db.c_str(), O_RDONLY);
    std::cout << (::flock(fd, LOCK_EX | LOCK_NB) == 0 ? "not held\n" : "locked out\n");
    ::close(fd);
}

// Standard input that tells, each time an answer is read, whether another program could lock
// the database now: no box may keep it from the others while it waits.
class Answers final : public std::streambuf {
    int underflow() override {
        TryToLock();
        static char yes[] = "y\n", enter[] = "\n";
        char* line = answered_++ == 0 ? yes : enter;
        setg(line, line, line + std::strlen(line));
        return *line;
    }
    int answered_ = 0;
};

struct Case {
    const char* what;
    void (*prepare)();  // in the child, before the compaction
    std::string said;   // found in what the run shows
    std::set<std::string> files;
    std::string edit = "";                // what the database holds after its old bytes
    std::size_t cut = std::string::npos;  // where another program cut them off
};

const std::set<std::string> kCompacted = {"Shop.mdb", "Shop-0001.BAK"}, kAlone = {"Shop.mdb"};

class Field : public Scratch {
  protected:
    Field() : Scratch(true) {}
};

TEST_F(Field, NoEditIsLostAndNoFileSystemRefusedForNothing) {
    const Case cases[] = {
        {"an edit while the copy is proven",
         [] { Sys().Stat = OnFirstBackupLookup<Edit>; },
         "it was changed while it was being compacted, so its compacted copy is out of date; the "
         "database has not been changed",
         {"Shop.mdb"},
         "edit"},
        {"a lock taken while the copy is proven",
         [] { Sys().Stat = OnFirstBackupLookup<TryToLock>; }, "locked out", kCompacted},
        {"NFS: locks only on descriptors open for writing",
         [] {
             Sys().Flock = [](int fd, int operation) {
                 if ((::fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDONLY) return errno = EBADF, -1;
                 return ::flock(fd, operation);
             };
         },
         kSuccess, kCompacted},
        {"no rename that refuses to replace, no hard links",
         [] {
             Sys().RenameNoReplace = [](const char*, const char*) { return errno = EINVAL, -1; };
             Sys().Link = [](const char*, const char*) { return errno = EPERM, -1; };
         },
         kSuccess, kCompacted},
        {"a chmod refused where the bits are already the database's",
         [] {
             ::chmod(g_db.c_str(), 0600);
             Sys().Fchmod = [](int, mode_t) { return errno = EPERM, -1; };
         },
         kSuccess, kCompacted},
        {"a database with a second name",
         [] { ::link(g_db.c_str(), (g_db + ".other").c_str()); },
         "it has 2 names (hard links), and the compacted copy could take only this one",
         {"Shop.mdb", "Shop.mdb.other"}},
        {"cut short in the kernel's copy", [] { Sys().CopyFileRange = CutShort<true>; },
         "file already in use by another process. (3045)", kAlone, "", kCut},
        {"cut short in the buffer's copy", [] { Sys().CopyFileRange = CutShort<false>; },
         "file already in use by another process. (3045)", kAlone, "", kCut},
        {"an engine that writes the database's header as it opens it",
         [] {
             Sys().Open = [](const char* path, int flags, mode_t mode) {
                 // The engine's is the second open to read, after the look for other users.
                 static int reads = 0;
                 if (g_db == path && flags == (O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY) &&
                     ++reads == 2) {
                     const int fd = ::open(path, O_RDWR);
                     char first = 0;
                     (void)!::pread(fd, &first, 1, 0), (void)!::pwrite(fd, &first, 1, 0);
                     ::close(fd);
                 }
                 return RealSystemCalls().Open(path, flags, mode);
             };
         },
         kSuccess, kCompacted},
        {"every backup name's lookup failing alike, as on a share that dropped",
         [] {
             Sys().Stat = [](const char* path, struct stat* status) {
                 if (!std::string_view(path).ends_with(".BAK"))
                     return RealSystemCalls().Stat(path, status);
                 std::cout << path + std::strlen(path) - 8 << " ";  // each number tried
                 return errno = EIO, -1;
             };
         },
         "0016.BAK \n== Tolvane [Warning] ==\nThere was a problem finding a free backup name",
         kAlone},
    };
    const std::string old = Database::Small();
    g_db = (data / "Shop.mdb").string();
    for (const Case& c : cases) {
        Reset();
        WriteFile(g_db, old);
        const Outcome run = Wait(Start("y\n\n", [&] {
            alarm(10);  // a copy that never ends fails in seconds, not at the suite's limit
            Answers answers;
            std::cin.rdbuf(&answers);
            c.prepare();
            std::shared_ptr<Components::DialogObject> none;
            DAO_DatabaseFunctions::CompactRepairDatabase(g_db, none, "", 0);
            return 0;
        }));
        EXPECT_NE(run.output.find(c.said), std::string::npos) << c.what << "\n" << run.output;
        EXPECT_TRUE(run.output.ends_with("(press Enter) not held\n\n")) << c.what << run.output;
        EXPECT_EQ(Files(), c.files) << c.what;
        EXPECT_TRUE(ReadFile(g_db) == old.substr(0, c.cut) + c.edit) << c.what;
    }
}

}  // namespace
