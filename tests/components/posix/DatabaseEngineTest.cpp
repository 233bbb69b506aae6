// The engine stand-in against a scratch folder: what it copies, what it refuses, and that no
// failure leaves a half copy behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "PosixTestSupport.h"
#include "components/DatabaseEngine.h"
#include "components/posix/EngineErrors.h"
#include "components/posix/SystemCalls.h"

namespace {

using namespace PosixTest;
using namespace Components::Posix;
using Components::DatabaseEngine;

class PosixEngine : public ::testing::Test {
  protected:
    // The number the compaction raised, 0 when it raised none; the description is kept.
    std::int32_t Compact(const std::string& source, const std::string& destination) {
        const auto raised = Raised([&] { engine->CompactDatabase(source, destination); });
        description = raised ? raised->Description() : "";
        return raised ? raised->Number() : 0;
    }

    std::string Database(int pages = 3, char version = 1, mode_t mode = 0640) {
        const std::string path = scratch / "Shop.mdb";
        old = DatabaseBytes(pages, version);
        WriteFile(path, old);
        ::chmod(path.c_str(), mode);
        return path;
    }

    std::unique_ptr<DatabaseEngine> engine =
        Components::CreatePlatformInstance(Components::Tag<DatabaseEngine>{});
    ScratchFolder scratch;
    std::string old, description;
};

using Names = std::vector<std::string>;

TEST_F(PosixEngine, WritesAByteForByteCopyWithTheSourcesMode) {
    const std::string db = Database(3, 1, 0640);
    struct stat before {};
    ::stat(db.c_str(), &before);
    ASSERT_EQ(Compact(db, scratch / "TOL1A2B.MDB"), 0) << description;
    EXPECT_EQ(ReadFile(scratch / "TOL1A2B.MDB"), old);
    EXPECT_EQ(ModeOf(scratch / "TOL1A2B.MDB"), 0640u);
    EXPECT_EQ(ReadFile(db), old) << "the source is never changed";
    struct stat after {};
    ::stat(db.c_str(), &after);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(scratch.Names(), (Names{"Shop.mdb", "TOL1A2B.MDB"}));

    for (mode_t mode : {0600, 0644, 0400, 0666}) {
        ::chmod(db.c_str(), mode);
        const std::string copy = scratch / ("mode" + std::to_string(mode) + ".MDB");
        ASSERT_EQ(Compact(db, copy), 0) << description;
        EXPECT_EQ(ModeOf(copy), mode);
    }
}

TEST_F(PosixEngine, CopiesEveryFormatAndLargerFiles) {
    for (char version : {0, 1, 2, 6}) {
        const std::string db = scratch / ("v" + std::to_string(int(version)) + ".mdb");
        const std::string bytes = DatabaseBytes(700, version);  // 1.4 to 2.8 MiB
        WriteFile(db, bytes);
        const std::string copy = db + ".copy";
        ASSERT_EQ(Compact(db, copy), 0) << description;
        EXPECT_TRUE(ReadFile(copy) == bytes) << int(version);
    }
}

TEST_F(PosixEngine, CopiesThroughTheBufferWhereTheKernelCannot) {
    SystemCallsRestorer restore;
    static int kernelCalls;
    kernelCalls = 0;
    Sys().CopyFileRange = [](int, int, std::size_t) -> ssize_t {
        ++kernelCalls;
        errno = EXDEV;
        return -1;
    };
    const std::string db = scratch / "Big.mdb";
    const std::string bytes = DatabaseBytes(1000, 1);  // 3.9 MiB: four rounds of the buffer
    WriteFile(db, bytes);
    ASSERT_EQ(Compact(db, scratch / "copy.MDB"), 0) << description;
    EXPECT_TRUE(ReadFile(scratch / "copy.MDB") == bytes);
    EXPECT_EQ(kernelCalls, 1) << "asked once, then the buffer";
}

TEST_F(PosixEngine, EverySharedDatabaseIsCopied) {
    const fs::path shared = fs::path(TOLVANE_SOURCE_DIR) / "../shared/testdata/databases";
    if (!fs::is_directory(shared)) GTEST_SKIP() << "no shared test data at " << shared;
    int copied = 0;
    for (const auto& entry : fs::directory_iterator(shared)) {
        const fs::path db = scratch.Path() / entry.path().filename();
        fs::copy_file(entry.path(), db);
        fs::permissions(db, fs::perms::owner_read | fs::perms::owner_write);
        const std::string copy = (scratch.Path() / ("TOL" + std::to_string(copied) + ".MDB"));
        ASSERT_EQ(Compact(db.string(), copy), 0) << db << ": " << description;
        EXPECT_TRUE(ReadFile(copy) == ReadFile(entry.path())) << db;
        ++copied;
    }
    EXPECT_GE(copied, 10);
}

TEST_F(PosixEngine, ALinkToTheDatabaseIsFollowedAndLeftAsItWas) {
    const std::string db = Database();
    fs::create_symlink(db, scratch / "Link.mdb");
    ASSERT_EQ(Compact(scratch / "Link.mdb", scratch / "copy.MDB"), 0) << description;
    EXPECT_EQ(ReadFile(scratch / "copy.MDB"), old);
    EXPECT_FALSE(fs::is_symlink(scratch / "copy.MDB"));
    EXPECT_TRUE(fs::is_symlink(scratch / "Link.mdb"));
}

// --- refusals before anything is written ------------------------------------------------

TEST_F(PosixEngine, AnExistingDestinationIsNeverTouched) {
    const std::string db = Database();
    for (const std::string& content : {std::string("someone else's"), std::string()}) {
        WriteFile(scratch / "TOL1A2B.MDB", content);
        EXPECT_EQ(Compact(db, scratch / "TOL1A2B.MDB"), kEngineDatabaseExists);
        EXPECT_NE(description.find(scratch / "TOL1A2B.MDB"), std::string::npos) << description;
        EXPECT_EQ(ReadFile(scratch / "TOL1A2B.MDB"), content);
    }
    EXPECT_EQ(Compact(db, db), kEngineDatabaseExists) << "not onto itself either";
    EXPECT_EQ(ReadFile(db), old);

    fs::create_symlink(scratch / "elsewhere.MDB", scratch / "dangling.MDB");
    EXPECT_EQ(Compact(db, scratch / "dangling.MDB"), kEngineDatabaseExists);
    EXPECT_FALSE(fs::exists(scratch / "elsewhere.MDB")) << "no file made through a link";
    fs::create_directory(scratch / "folder.MDB");
    EXPECT_EQ(Compact(db, scratch / "folder.MDB"), kEngineDatabaseExists);
}

TEST_F(PosixEngine, NotADatabaseIsAnUnrecognisedFormat) {
    WriteFile(scratch / "Notes.mdb", "just some text, not a database at all");
    EXPECT_EQ(Compact(scratch / "Notes.mdb", scratch / "copy.MDB"), kEngineUnrecognisedFormat);
    EXPECT_NE(description.find(scratch / "Notes.mdb"), std::string::npos) << description;
    EXPECT_EQ(scratch.Names(), Names{"Notes.mdb"});

    std::string wrongVersion = DatabaseBytes(2, 1);
    wrongVersion[0x14] = 9;
    WriteFile(scratch / "Future.mdb", wrongVersion);
    EXPECT_EQ(Compact(scratch / "Future.mdb", scratch / "copy.MDB"), kEngineUnrecognisedFormat);
    EXPECT_FALSE(fs::exists(scratch / "copy.MDB"));
}

TEST_F(PosixEngine, CutShortOrNotWholePagesIsCorrupt) {
    const std::string whole = DatabaseBytes(2, 1);
    const std::pair<std::string, std::string> cases[] = {
        {"Empty.mdb", ""},
        {"Header.mdb", whole.substr(0, 12)},
        {"OnePart.mdb", whole.substr(0, 4000)},
        {"Ragged.mdb", whole.substr(0, 6000)},
        {"Extra.mdb", whole + "x"},
    };
    for (const auto& [name, bytes] : cases) {
        WriteFile(scratch / name, bytes);
        EXPECT_EQ(Compact(scratch / name, scratch / "copy.MDB"), kEngineCannotOpenDatabase) << name;
        EXPECT_NE(description.find(scratch / name), std::string::npos) << description;
        EXPECT_FALSE(fs::exists(scratch / "copy.MDB")) << name;
        EXPECT_EQ(ReadFile(scratch / name), bytes);
    }
}

TEST_F(PosixEngine, MissingSourceOrBadPaths) {
    EXPECT_EQ(Compact(scratch / "Gone.mdb", scratch / "copy.MDB"), kEngineFileNotFound);
    EXPECT_NE(description.find(scratch / "Gone.mdb"), std::string::npos) << description;
    WriteFile(scratch / "file", "x");
    EXPECT_EQ(Compact(scratch / "file/Shop.mdb", scratch / "copy.MDB"), kEngineInvalidPath);
    EXPECT_EQ(Compact("", scratch / "copy.MDB"), kEngineInvalidPath);
    EXPECT_EQ(Compact(std::string(5000, 'a'), scratch / "copy.MDB"), kEngineInvalidPath);

    const std::string db = Database();
    EXPECT_EQ(Compact(db, scratch / "no/such/folder/copy.MDB"), kEngineInvalidPath);
    EXPECT_EQ(Compact(db, ""), kEngineInvalidPath);
    EXPECT_EQ(Compact(db, scratch / "file/copy.MDB"), kEngineInvalidPath);
    EXPECT_EQ(scratch.Names(), (Names{"Shop.mdb", "file"}));
}

TEST_F(PosixEngine, AFolderIsNoDatabase) {
    fs::create_directory(scratch / "Folder.mdb");
    EXPECT_EQ(Compact(scratch / "Folder.mdb", scratch / "copy.MDB"), kEngineInvalidPath);
    EXPECT_NE(description.find("folder"), std::string::npos) << description;
    EXPECT_FALSE(fs::exists(scratch / "copy.MDB"));
}

TEST_F(PosixEngine, AFifoOrADeviceIsRefusedWithoutBlocking) {
    ASSERT_EQ(::mkfifo((scratch / "Pipe.mdb").c_str(), 0600), 0);
    ::alarm(20);  // a hang here would end the test run, not stall it
    EXPECT_EQ(Compact(scratch / "Pipe.mdb", scratch / "copy.MDB"), kEngineUnrecognisedFormat);
    EXPECT_EQ(Compact("/dev/null", scratch / "copy.MDB"), kEngineUnrecognisedFormat);
    EXPECT_EQ(Compact("/dev/zero", scratch / "copy.MDB"), kEngineUnrecognisedFormat);
    ::alarm(0);
    EXPECT_EQ(scratch.Names(), Names{"Pipe.mdb"});
}

TEST_F(PosixEngine, AFifoPutInPlaceAfterTheCheckIsStillRefused) {
    // The name is looked at, then opened: what was opened is checked again.
    SystemCallsRestorer restore;
    static std::string fifo;
    fifo = scratch / "Pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Sys().Open = [](const char* path, int flags, mode_t mode) {
        if ((flags & O_ACCMODE) == O_RDONLY && !(flags & O_DIRECTORY)) {
            return RealSystemCalls().Open(fifo.c_str(), flags, mode);
        }
        return RealSystemCalls().Open(path, flags, mode);
    };
    const std::string db = Database();
    ::alarm(20);
    EXPECT_EQ(Compact(db, scratch / "copy.MDB"), kEngineUnrecognisedFormat);
    ::alarm(0);
    EXPECT_FALSE(fs::exists(scratch / "copy.MDB"));
}

// Another process holding a lock on the database.
class LockHolder {
  public:
    enum Kind { kFlock, kPosixWriteLock };
    LockHolder(const std::string& path, Kind kind) {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        child_ = ::fork();
        if (child_ == 0) {
            const int fd = ::open(path.c_str(), kind == kFlock ? O_RDONLY : O_RDWR);
            bool locked = false;
            if (kind == kFlock) {
                locked = ::flock(fd, LOCK_EX) == 0;
            } else {
                struct flock range {};
                range.l_type = F_WRLCK;
                range.l_whence = SEEK_SET;
                range.l_start = 0x10000000;  // where the engine keeps its locks, past the data
                range.l_len = 1;
                locked = ::fcntl(fd, F_SETLK, &range) == 0;
            }
            (void)!::write(ready[1], locked ? "y" : "n", 1);
            ::pause();
            ::_exit(0);
        }
        char answer = 'n';
        EXPECT_EQ(::read(ready[0], &answer, 1), 1);
        EXPECT_EQ(answer, 'y');
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~LockHolder() {
        ::kill(child_, SIGKILL);
        ::waitpid(child_, nullptr, 0);
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

  private:
    pid_t child_ = -1;
};

TEST_F(PosixEngine, ADatabaseLockedByAnotherProcessIsInUse) {
    const std::string db = Database();
    {
        LockHolder holder(db, LockHolder::kFlock);
        EXPECT_EQ(Compact(db, scratch / "copy.MDB"), kEngineFileInUse);
        EXPECT_NE(description.find(db), std::string::npos) << description;
        EXPECT_NE(description.find("in use"), std::string::npos) << description;
    }
    EXPECT_EQ(scratch.Names(), Names{"Shop.mdb"});
    EXPECT_EQ(ReadFile(db), old);
    ASSERT_EQ(Compact(db, scratch / "copy.MDB"), 0) << "free again once the holder is gone";
}

TEST_F(PosixEngine, ARecordLockOfAnotherProgramIsInUseToo) {
    const std::string db = Database();
    LockHolder holder(db, LockHolder::kPosixWriteLock);
    EXPECT_EQ(Compact(db, scratch / "copy.MDB"), kEngineFileInUse);
    EXPECT_EQ(scratch.Names(), Names{"Shop.mdb"});
}

TEST_F(PosixEngine, TheLockIsLetGoAfterTheCopy) {
    const std::string db = Database();
    ASSERT_EQ(Compact(db, scratch / "copy.MDB"), 0);
    const int fd = ::open(db.c_str(), O_RDONLY);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
}

// --- failures after the destination was made: no half copy stays -------------------------

class PosixEngineFaults : public PosixEngine {
  protected:
    void ExpectNoCopy(std::int32_t expected) {
        const std::string db = Database(400, 1);  // 1.6 MiB: more than one round of the buffer
        EXPECT_EQ(Compact(db, scratch / "TOL1A2B.MDB"), expected) << description;
        EXPECT_EQ(scratch.Names(), Names{"Shop.mdb"}) << "no destination is left";
        EXPECT_TRUE(ReadFile(db) == old) << "the source is as it was";
    }
    SystemCallsRestorer restore;
};

TEST_F(PosixEngineFaults, AReadErrorMidCopyThroughTheBuffer) {
    Sys().CopyFileRange = [](int, int, std::size_t) -> ssize_t {
        errno = ENOSYS;
        return -1;
    };
    static int reads;
    reads = 0;
    Sys().Read = [](int fd, void* buffer, std::size_t count) -> ssize_t {
        if (++reads == 2) {
            errno = EIO;
            return -1;
        }
        return ::read(fd, buffer, count);
    };
    ExpectNoCopy(kEngineDiskError);
    EXPECT_EQ(reads, 2);
}

TEST_F(PosixEngineFaults, ADiskThatFillsUp) {
    Sys().CopyFileRange = [](int, int, std::size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    ExpectNoCopy(kEngineDiskFull);
    EXPECT_NE(description.find("TOL1A2B.MDB"), std::string::npos) << description;

    Sys().CopyFileRange = [](int, int, std::size_t) -> ssize_t {
        errno = EOPNOTSUPP;
        return -1;
    };
    static int writes;
    writes = 0;
    Sys().Write = [](int fd, const void* data, std::size_t count) -> ssize_t {
        if (++writes == 1) return ::write(fd, data, count / 2);  // a short write, then full
        errno = EDQUOT;
        return -1;
    };
    ExpectNoCopy(kEngineDiskFull);
}

TEST_F(PosixEngineFaults, AFolderThatCannotSyncAtAllIsNoFailure) {
    Sys().Fsync = [](int fd) {
        struct stat status {};
        ::fstat(fd, &status);
        if (S_ISDIR(status.st_mode)) {
            errno = EINVAL;
            return -1;
        }
        return ::fsync(fd);
    };
    const std::string db = Database();
    EXPECT_EQ(Compact(db, scratch / "copy.MDB"), 0) << description;
}

TEST_F(PosixEngineFaults, ASourceChangedWhileItIsCopied) {
    static std::string source;
    source = scratch / "Shop.mdb";
    Sys().CopyFileRange = [](int in, int out, std::size_t count) -> ssize_t {
        const ssize_t n = RealSystemCalls().CopyFileRange(in, out, count);
        const int other = ::open(source.c_str(), O_WRONLY | O_APPEND);
        (void)!::write(other, "more", 4);
        ::close(other);
        return n;
    };
    const std::string db = Database(400, 1);
    EXPECT_EQ(Compact(db, scratch / "TOL1A2B.MDB"), kEngineFileInUse) << description;
    EXPECT_EQ(scratch.Names(), Names{"Shop.mdb"});
    EXPECT_NE(description.find("changed"), std::string::npos) << description;
}

TEST_F(PosixEngineFaults, ASourceCutShortWhileItIsCopied) {
    Sys().CopyFileRange = [](int, int, std::size_t) -> ssize_t { return 0; };
    ExpectNoCopy(kEngineFileInUse);
}

TEST_F(PosixEngineFaults, TheSystemsRefusalsHaveTheEnginesNumbers) {
    static int injected;
    static bool forSource;
    Sys().Open = [](const char* path, int flags, mode_t mode) {
        const bool source = (flags & O_ACCMODE) == O_RDONLY && !(flags & O_DIRECTORY);
        if (source == forSource) {
            errno = injected;
            return -1;
        }
        return RealSystemCalls().Open(path, flags, mode);
    };
    const std::string db = Database();
    const std::tuple<bool, int, std::int32_t> cases[] = {
        {true, EACCES, kEngineNoPermission},    {true, EPERM, kEngineNoPermission},
        {true, EIO, kEngineDiskError},          {true, ENXIO, kEngineUnrecognisedFormat},
        {false, EACCES, kEngineNoPermission},   {false, EROFS, kEngineReadOnly},
        {false, ENOSPC, kEngineDiskFull},       {false, EDQUOT, kEngineDiskFull},
        {false, EEXIST, kEngineDatabaseExists}, {false, ENOENT, kEngineInvalidPath},
        {false, EIO, kEngineDiskError},
    };
    for (const auto& [source, error, number] : cases) {
        forSource = source;
        injected = error;
        EXPECT_EQ(Compact(db, scratch / "copy.MDB"), number) << source << " " << error;
        EXPECT_EQ(scratch.Names(), Names{"Shop.mdb"});
    }
}

TEST_F(PosixEngineFaults, ACopyThatCannotBeRemovedIsNamedInTheError) {
    // The folder's sync comes after the copy got its name.
    Sys().Fsync = [](int fd) {
        struct stat status {};
        ::fstat(fd, &status);
        if (S_ISDIR(status.st_mode)) {
            errno = EIO;
            return -1;
        }
        return ::fsync(fd);
    };
    Sys().Unlink = [](const char*) {
        errno = EBUSY;
        return -1;
    };
    const std::string db = Database();
    EXPECT_EQ(Compact(db, scratch / "TOL1A2B.MDB"), kEngineDiskError);
    EXPECT_NE(description.find("unfinished copy '" + (scratch / "TOL1A2B.MDB") + "'"),
              std::string::npos)
        << description;
}

// Until the copy is whole and synced it has no name, so a crash leaves nothing behind.
TEST_F(PosixEngineFaults, TheCopyHasNoNameUntilItIsWhole) {
    static std::string destination;
    static int namedWhileCopying;
    destination = scratch / "TOL1A2B.MDB";
    namedWhileCopying = 0;
    Sys().CopyFileRange = [](int in, int out, std::size_t count) -> ssize_t {
        namedWhileCopying += fs::exists(destination);
        return RealSystemCalls().CopyFileRange(in, out, count < 65536 ? count : 65536);
    };
    const std::string db = Database(400, 1);
    EXPECT_EQ(Compact(db, destination), 0) << description;
    EXPECT_EQ(namedWhileCopying, 0);
    EXPECT_TRUE(ReadFile(destination) == old);
    EXPECT_EQ(ModeOf(destination), 0640u);
}

// Where the file system has no unnamed files, or /proc cannot name one, the copy is made
// under its name from the start, never over a file that is there.
TEST_F(PosixEngineFaults, WithoutUnnamedFilesTheCopyIsMadeUnderItsName) {
    static int refusal, namedOpens;
    Sys().Open = [](const char* path, int flags, mode_t mode) {
        if ((flags & O_TMPFILE) == O_TMPFILE) {
            errno = refusal;
            return -1;
        }
        namedOpens += (flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL);
        return RealSystemCalls().Open(path, flags, mode);
    };
    const std::string db = Database();
    for (const int error : {EOPNOTSUPP, EISDIR, EINVAL}) {
        refusal = error;
        namedOpens = 0;
        EXPECT_EQ(Compact(db, scratch / "copy.MDB"), 0) << error << description;
        EXPECT_EQ(namedOpens, 1) << error;
        EXPECT_TRUE(ReadFile(scratch / "copy.MDB") == old) << error;
        fs::remove(scratch / "copy.MDB");
    }
    refusal = EACCES;  // a folder we may not write is no reason to try another way
    EXPECT_EQ(Compact(db, scratch / "copy.MDB"), kEngineNoPermission);

    Sys().Open = RealSystemCalls().Open;
    Sys().Stat = [](const char* path, struct stat* status) {
        if (std::string(path).starts_with("/proc/")) {
            errno = ENOENT;
            return -1;
        }
        return ::stat(path, status);
    };
    EXPECT_EQ(Compact(db, scratch / "copy.MDB"), 0) << description;
    EXPECT_TRUE(ReadFile(scratch / "copy.MDB") == old);
    EXPECT_EQ(scratch.Names(), (Names{"Shop.mdb", "copy.MDB"}));
}

}  // namespace
