// The engine stand-in against a scratch folder: its number for each refusal, the copy made
// where the kernel cannot copy, and a source that moves under it. Whole runs already show
// that no failure of theirs leaves a half copy behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <tuple>

#include "PosixTestSupport.h"
#include "components/DatabaseEngine.h"
#include "components/posix/EngineErrors.h"
#include "components/posix/SystemCalls.h"

namespace {

using namespace PosixTest;
using namespace Components::Posix;
using Components::DatabaseEngine;
using Names = std::vector<std::string>;

class PosixEngine : public ::testing::Test {
  protected:
    // The number the compaction raised, 0 when it raised none; the description is kept.
    std::int32_t Compact(const std::string& source, const std::string& destination) {
        const auto raised = Raised([&] { engine->CompactDatabase(source, destination); });
        description = raised ? raised->Description() : "";
        return raised ? raised->Number() : 0;
    }

    std::string Database(std::uint64_t pages = 3) {
        old = TestDatabase::Make({.pages = pages});
        WriteFile(scratch / "Shop.mdb", old);
        return scratch / "Shop.mdb";
    }

    std::unique_ptr<DatabaseEngine> engine =
        Components::CreatePlatformInstance(Components::Tag<DatabaseEngine>{});
    ScratchFolder scratch;
    std::string old, description;
};

// Each refusal comes before anything is written, and says which file it is about.
TEST_F(PosixEngine, RefusalsHaveTheEnginesNumbers) {
    const std::string whole = TestDatabase::Make();
    std::string future = whole;
    future[0x14] = 9;
    const std::tuple<std::string, std::string, std::int32_t> sources[] = {
        {"Notes.mdb", "just some text, not a database at all", kEngineUnrecognisedFormat},
        {"Future.mdb", future, kEngineUnrecognisedFormat},
        {"Empty.mdb", "", kEngineCannotOpenDatabase},
        {"Header.mdb", whole.substr(0, 12), kEngineCannotOpenDatabase},
        {"OnePart.mdb", whole.substr(0, 4000), kEngineCannotOpenDatabase},
        {"Ragged.mdb", whole.substr(0, 6000), kEngineCannotOpenDatabase},
        {"Extra.mdb", whole + "x", kEngineCannotOpenDatabase},
    };
    for (const auto& [name, bytes, number] : sources) {
        WriteFile(scratch / name, bytes);
        EXPECT_EQ(Compact(scratch / name, scratch / "copy.MDB"), number) << name;
        EXPECT_NE(description.find(scratch / name), std::string::npos) << description;
        EXPECT_FALSE(fs::exists(scratch / "copy.MDB")) << name;
        EXPECT_EQ(ReadFile(scratch / name), bytes);
    }

    // Paths that lead to no database file; a FIFO or a device must not block the run.
    WriteFile(scratch / "file", "x");
    fs::create_directory(scratch / "Folder.mdb");
    ASSERT_EQ(::mkfifo((scratch / "Pipe.mdb").c_str(), 0600), 0);
    const std::string db = Database();
    const std::tuple<std::string, std::string, std::int32_t, std::string> paths[] = {
        {scratch / "Gone.mdb", scratch / "copy.MDB", kEngineFileNotFound, scratch / "Gone.mdb"},
        {scratch / "file/Shop.mdb", scratch / "copy.MDB", kEngineInvalidPath, ""},
        {"", scratch / "copy.MDB", kEngineInvalidPath, ""},
        {std::string(5000, 'a'), scratch / "copy.MDB", kEngineInvalidPath, ""},
        {scratch / "Folder.mdb", scratch / "copy.MDB", kEngineInvalidPath, "folder"},
        {scratch / "Pipe.mdb", scratch / "copy.MDB", kEngineUnrecognisedFormat, ""},
        {"/dev/null", scratch / "copy.MDB", kEngineUnrecognisedFormat, ""},
        {"/dev/zero", scratch / "copy.MDB", kEngineUnrecognisedFormat, ""},
        {db, scratch / "no/such/folder/copy.MDB", kEngineInvalidPath, ""},
        {db, "", kEngineInvalidPath, ""},
        {db, scratch / "file/copy.MDB", kEngineInvalidPath, ""},
    };
    ::alarm(20);  // a hang here would end the test run, not stall it
    for (const auto& [source, destination, number, named] : paths) {
        EXPECT_EQ(Compact(source, destination), number) << source << " to " << destination;
        EXPECT_NE(description.find(named), std::string::npos) << description;
    }
    ::alarm(0);
    EXPECT_EQ(scratch.Names(),
              (Names{"Empty.mdb", "Extra.mdb", "Folder.mdb", "Future.mdb", "Header.mdb",
                     "Notes.mdb", "OnePart.mdb", "Pipe.mdb", "Ragged.mdb", "Shop.mdb", "file"}));
}

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

// Another program's record lock where the engine keeps its own, past the data. (A whole
// lock of the file is the program tests' case.)
TEST_F(PosixEngine, ARecordLockOfAnotherProgramIsInUse) {
    const std::string db = Database();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(db.c_str(), O_RDWR);
        struct flock range {};
        range.l_type = F_WRLCK;
        range.l_whence = SEEK_SET;
        range.l_start = 0x10000000;
        range.l_len = 1;
        (void)!::write(ready[1], ::fcntl(fd, F_SETLK, &range) == 0 ? "y" : "n", 1);
        ::pause();
        ::_exit(0);
    }
    char answer = 'n';
    EXPECT_EQ(::read(ready[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'y');
    EXPECT_EQ(Compact(db, scratch / "copy.MDB"), kEngineFileInUse);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(scratch.Names(), Names{"Shop.mdb"});
}

// --- failures of single system calls, each with its own number ---------------------------

class PosixEngineFaults : public PosixEngine {
  protected:
    void ExpectNoCopy(std::int32_t expected) {
        const std::string db = Database(400);  // 1.6 MiB: more than one round of the buffer
        EXPECT_EQ(Compact(db, scratch / "TOL1A2B.MDB"), expected) << description;
        EXPECT_EQ(scratch.Names(), Names{"Shop.mdb"}) << "no destination is left";
        EXPECT_TRUE(ReadFile(db) == old) << "the source is as it was";
    }
    SystemCallsRestorer restore;
};

TEST_F(PosixEngineFaults, WhereTheKernelCannotCopyTheBufferGoesRoundAfterRound) {
    static int kernelCalls, reads, failingRead;
    kernelCalls = reads = failingRead = 0;
    Sys().CopyFileRange = [](int, int, std::size_t) -> ssize_t {
        ++kernelCalls;
        errno = EXDEV;
        return -1;
    };
    Sys().Read = [](int fd, void* buffer, std::size_t count) -> ssize_t {
        if (++reads == failingRead) {
            errno = EIO;
            return -1;
        }
        return ::read(fd, buffer, count);
    };
    const std::string bytes =
        TestDatabase::Make({.pages = 1000});  // 3.9 MiB: four rounds of the buffer
    WriteFile(scratch / "Big.mdb", bytes);
    ::chmod((scratch / "Big.mdb").c_str(), 0604);
    ASSERT_EQ(Compact(scratch / "Big.mdb", scratch / "copy.MDB"), 0) << description;
    EXPECT_TRUE(ReadFile(scratch / "copy.MDB") == bytes);
    EXPECT_EQ(ModeOf(scratch / "copy.MDB"), 0604u) << "the source's mode";
    EXPECT_EQ(kernelCalls, 1) << "asked once, then the buffer";
    fs::remove(scratch / "Big.mdb");
    fs::remove(scratch / "copy.MDB");

    Sys().CopyFileRange = [](int, int, std::size_t) -> ssize_t {
        errno = ENOSYS;
        return -1;
    };
    reads = 0;
    failingRead = 2;
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
    const std::string db = Database(400);
    EXPECT_EQ(Compact(db, scratch / "TOL1A2B.MDB"), kEngineFileInUse) << description;
    EXPECT_EQ(scratch.Names(), Names{"Shop.mdb"});
    EXPECT_NE(description.find("changed"), std::string::npos) << description;

    Sys().CopyFileRange = [](int, int, std::size_t) -> ssize_t { return 0; };  // cut short
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

// A database the structural check does not know is copied, and the engine says so. (Damage
// refused is the program tests' and the damage tests' case; a copy that lost a row is the
// fault suite's.)
TEST_F(PosixEngine, WhatTheCheckDoesNotKnowIsCopiedWithANote) {
    std::string unknown = TestDatabase::Make();
    unknown[TestDatabase::kTablePage * 4096 + 63 + 25] = 21;  // the type of column Name
    WriteFile(scratch / "Shop.mdb", unknown);
    EXPECT_EQ(Compact(scratch / "Shop.mdb", scratch / "copy.MDB"), 0) << description;
    EXPECT_NE(engine->Note().find("' could not be checked: table Orders "
                                  "has a column Name of type 21"),
              std::string::npos)
        << engine->Note();
}

}  // namespace
