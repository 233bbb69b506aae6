#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "PosixTestSupport.h"
#include "components/FileSystem.h"
#include "components/posix/SystemCalls.h"

namespace {

using namespace PosixTest;
using Components::FileSystem;
using Components::Posix::Sys;
using Components::Posix::SystemCallsRestorer;

class PosixFileSystem : public ::testing::Test {
  protected:
    std::unique_ptr<FileSystem> files =
        Components::CreatePlatformInstance(Components::Tag<FileSystem>{});
    ScratchFolder scratch;
};

TEST_F(PosixFileSystem, RenameNeverReplaces) {
    WriteFile(scratch / "TOL1A2B.MDB", "compacted");
    WriteFile(scratch / "Shop.mdb", "the database");
    const auto raised =
        Raised([&] { files->Rename(scratch / "TOL1A2B.MDB", scratch / "Shop.mdb"); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Number(), 58);
    EXPECT_NE(raised->Description().find("File already exists"), std::string::npos);
    EXPECT_NE(raised->Description().find(scratch / "TOL1A2B.MDB"), std::string::npos);
    EXPECT_NE(raised->Description().find(scratch / "Shop.mdb"), std::string::npos);
    EXPECT_EQ(Err::Current().LastDllError, EEXIST);
    EXPECT_EQ(ReadFile(scratch / "TOL1A2B.MDB"), "compacted");
    EXPECT_EQ(ReadFile(scratch / "Shop.mdb"), "the database");

    // Not over an empty file, a folder or a dangling link either.
    WriteFile(scratch / "empty", "");
    fs::create_directory(scratch / "folder");
    fs::create_symlink(scratch / "nowhere", scratch / "dangling");
    for (const char* taken : {"empty", "folder", "dangling"}) {
        const auto again = Raised([&] { files->Rename(scratch / "TOL1A2B.MDB", scratch / taken); });
        ASSERT_TRUE(again) << taken;
        EXPECT_EQ(again->Number(), 58) << taken;
    }
    EXPECT_EQ(ReadFile(scratch / "TOL1A2B.MDB"), "compacted");
    EXPECT_TRUE(fs::is_symlink(scratch / "dangling"));
}

TEST_F(PosixFileSystem, RenameOfAMissingFileFails) {
    const auto raised = Raised([&] { files->Rename(scratch / "gone.mdb", scratch / "new.mdb"); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Number(), 53);
    EXPECT_TRUE(scratch.Names().empty());
    const auto missingFolder =
        Raised([&] { files->Rename(scratch / "gone.mdb", scratch / "no/such/new.mdb"); });
    ASSERT_TRUE(missingFolder);
    EXPECT_EQ(missingFolder->Number(), 53);
}

TEST_F(PosixFileSystem, RenameAcrossFileSystemsIsRefusedNotCopied) {
    if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm here";
    struct stat tmp {
    }, shm{};
    ::stat(scratch.Path().c_str(), &tmp);
    ::stat("/dev/shm", &shm);
    if (tmp.st_dev == shm.st_dev) GTEST_SKIP() << "/dev/shm is on the same file system";
    WriteFile(scratch / "Shop.mdb", "bytes");
    const std::string elsewhere = "/dev/shm/tolvane-test-" + std::to_string(::getpid());
    const auto raised = Raised([&] { files->Rename(scratch / "Shop.mdb", elsewhere); });
    ::unlink(elsewhere.c_str());
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Number(), 74);
    EXPECT_EQ(ReadFile(scratch / "Shop.mdb"), "bytes");
}

// Where the file system has no RENAME_NOREPLACE the rename goes by link() and unlink().
TEST_F(PosixFileSystem, RenameWithoutNoReplaceGoesByALinkThatAlsoNeverReplaces) {
    SystemCallsRestorer restore;
    Sys().RenameNoReplace = [](const char*, const char*) {
        errno = EINVAL;
        return -1;
    };
    WriteFile(scratch / "a", "A");
    WriteFile(scratch / "b", "B");
    files->Rename(scratch / "a", scratch / "c");
    EXPECT_EQ(scratch.Names(), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(ReadFile(scratch / "c"), "A");
    const auto raised = Raised([&] { files->Rename(scratch / "c", scratch / "b"); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Number(), 58);
    EXPECT_EQ(ReadFile(scratch / "b"), "B");
    EXPECT_EQ(ReadFile(scratch / "c"), "A");

    Sys().RenameNoReplace = [](const char*, const char*) {
        errno = ENOSYS;
        return -1;
    };
    files->Rename(scratch / "c", scratch / "d");
    EXPECT_EQ(scratch.Names(), (std::vector<std::string>{"b", "d"}));
}

TEST_F(PosixFileSystem, ALinkThatCannotLetGoOfTheOldNameIsTakenBack) {
    SystemCallsRestorer restore;
    Sys().RenameNoReplace = [](const char*, const char*) {
        errno = ENOSYS;
        return -1;
    };
    static bool failFirstUnlink;
    failFirstUnlink = true;
    Sys().Unlink = [](const char* path) {
        if (failFirstUnlink) {
            failFirstUnlink = false;
            errno = EACCES;
            return -1;
        }
        return ::unlink(path);
    };
    WriteFile(scratch / "a", "A");
    const auto raised = Raised([&] { files->Rename(scratch / "a", scratch / "b"); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Number(), 70);
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"a"}) << "nothing has changed";
}

TEST_F(PosixFileSystem, RenameMapsTheSystemsErrors) {
    SystemCallsRestorer restore;
    static int injected;
    Sys().RenameNoReplace = [](const char*, const char*) {
        errno = injected;
        return -1;
    };
    const std::pair<int, std::int32_t> cases[] = {
        {EEXIST, 58}, {ENOENT, 53}, {EACCES, 70}, {EPERM, 70}, {EXDEV, 74},
        {ENOSPC, 61}, {EIO, 75},    {EBUSY, 75},  {EROFS, 70},
    };
    for (const auto& [error, number] : cases) {
        injected = error;
        const auto raised = Raised([&] { files->Rename("/x/from", "/x/to"); });
        ASSERT_TRUE(raised) << error;
        EXPECT_EQ(raised->Number(), number) << error;
        EXPECT_EQ(Err::Current().LastDllError, error);
        EXPECT_NE(raised->Description().find("Rename '/x/from' to '/x/to'"), std::string::npos)
            << raised->Description();
    }
}

TEST_F(PosixFileSystem, KillDeletesOrRaises) {
    WriteFile(scratch / "TOL1A2B.TMP", "");
    files->Kill(scratch / "TOL1A2B.TMP");
    EXPECT_TRUE(scratch.Names().empty());
    auto raised = Raised([&] { files->Kill(scratch / "TOL1A2B.TMP"); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Number(), 53);
    fs::create_directory(scratch / "folder");
    raised = Raised([&] { files->Kill(scratch / "folder"); });
    ASSERT_TRUE(raised);
    EXPECT_TRUE(fs::is_directory(scratch / "folder"));
}

TEST_F(PosixFileSystem, LogFolderFollowsXdgStateHome) {
    {
        EnvironmentVariable state("XDG_STATE_HOME", "/var/state-of-mine");
        EXPECT_EQ(files->LogFolder(), "/var/state-of-mine/tolvane/");
    }
    EnvironmentVariable noState("XDG_STATE_HOME", nullptr);
    EnvironmentVariable home("HOME", "/home/someone");
    EXPECT_EQ(files->LogFolder(), "/home/someone/.local/state/tolvane/");
    EnvironmentVariable empty("XDG_STATE_HOME", "");
    EXPECT_EQ(files->LogFolder(), "/home/someone/.local/state/tolvane/");
}

TEST_F(PosixFileSystem, AppendToFileMakesTheFoldersAndAppends) {
    const std::string log = scratch / "state/tolvane/Tolvane.20240302.log";
    files->AppendToFile(log, "09:05:07 Start GetTempFile\r\n");
    files->AppendToFile(log, "09:05:08     Assign a string\r\n");
    EXPECT_EQ(ReadFile(log), "09:05:07 Start GetTempFile\r\n09:05:08     Assign a string\r\n");
    EXPECT_EQ(ModeOf(scratch / "state/tolvane") & 0777, 0700u);
    EXPECT_EQ(
        ModeOf(log) & 0777, 0644u & ~[] {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            return mask;
        }());
    const std::string bytes("\0\xff\r\n", 4);
    files->AppendToFile(log, bytes);
    EXPECT_EQ(ReadFile(log).substr(ReadFile(log).size() - 4), bytes) << "bytes as they are";
}

TEST_F(PosixFileSystem, AppendToFileClosesTheFileAlsoAfterAFailedWrite) {
    SystemCallsRestorer restore;
    static int closes;
    closes = 0;
    Sys().Write = [](int, const void*, std::size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    Sys().Close = [](int fd) {
        ++closes;
        return ::close(fd);
    };
    const auto raised = Raised([&] { files->AppendToFile(scratch / "log", "line\r\n"); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Number(), 61);
    EXPECT_EQ(closes, 1);
}

TEST_F(PosixFileSystem, AppendToFileWritesAllOfAShortWrite) {
    SystemCallsRestorer restore;
    Sys().Write = [](int fd, const void* data, std::size_t count) -> ssize_t {
        return ::write(fd, data, count > 3 ? 3 : count);  // three bytes at a time
    };
    files->AppendToFile(scratch / "log", "a longer line\r\n");
    EXPECT_EQ(ReadFile(scratch / "log"), "a longer line\r\n");
}

}  // namespace
