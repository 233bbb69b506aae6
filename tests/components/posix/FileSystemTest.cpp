// Rename never replaces, whichever way the file system lets it rename; the log's folder and
// how a line gets into the log.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "PosixTestSupport.h"
#include "components/FileSystem.h"
#include "components/posix/SystemCalls.h"

namespace {

using namespace PosixTest;
using Components::FileSystem;
using Components::Posix::RealSystemCalls;
using Components::Posix::Sys;

class PosixFileSystem : public ::testing::Test {
  protected:
    std::unique_ptr<FileSystem> files =
        Components::CreatePlatformInstance(Components::Tag<FileSystem>{});
    ScratchFolder scratch;
    Components::Posix::SystemCallsRestorer restore;
};

// Where the file system has no RENAME_NOREPLACE (EINVAL, ENOSYS) the rename goes by link()
// and unlink(), which must not replace anything either.
TEST_F(PosixFileSystem, RenameNeverReplaces) {
    static int refusal;
    Sys().RenameNoReplace = [](const char* from, const char* to) {
        if (refusal == 0) return RealSystemCalls().RenameNoReplace(from, to);
        errno = refusal;
        return -1;
    };
    WriteFile(scratch / "Shop.mdb", "the database");
    WriteFile(scratch / "empty", "");
    fs::create_directory(scratch / "folder");
    fs::create_symlink(scratch / "nowhere", scratch / "dangling");
    for (const int way : {0, EINVAL, ENOSYS}) {
        refusal = way;
        WriteFile(scratch / "TOL1A2B.MDB", "compacted");
        for (const char* taken : {"Shop.mdb", "empty", "folder", "dangling"}) {
            const auto raised =
                Raised([&] { files->Rename(scratch / "TOL1A2B.MDB", scratch / taken); });
            ASSERT_TRUE(raised) << way << taken;
            EXPECT_EQ(raised->Number(), 58) << way << taken;
            EXPECT_NE(raised->Description().find("File already exists"), std::string::npos);
            EXPECT_NE(raised->Description().find(scratch / "TOL1A2B.MDB"), std::string::npos);
            EXPECT_NE(raised->Description().find(scratch / taken), std::string::npos);
            EXPECT_EQ(Err::Current().LastDllError, EEXIST);
        }
        EXPECT_EQ(ReadFile(scratch / "Shop.mdb"), "the database") << way;
        EXPECT_TRUE(fs::is_symlink(scratch / "dangling")) << way;
        files->Rename(scratch / "TOL1A2B.MDB", scratch / "new.mdb");
        EXPECT_EQ(ReadFile(scratch / "new.mdb"), "compacted") << way;
        EXPECT_FALSE(fs::exists(scratch / "TOL1A2B.MDB")) << way;
        fs::remove(scratch / "new.mdb");
    }
}

TEST_F(PosixFileSystem, ALinkThatCannotLetGoOfTheOldNameIsTakenBack) {
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

TEST_F(PosixFileSystem, LogFolderFollowsXdgStateHomeOrElseHome) {
    EnvironmentVariable home("HOME", "/home/someone");
    for (const auto& [state, folder] :
         {std::pair<const char*, const char*>{"/var/state-of-mine", "/var/state-of-mine/tolvane/"},
          {nullptr, "/home/someone/.local/state/tolvane/"},
          {"", "/home/someone/.local/state/tolvane/"}}) {
        EnvironmentVariable variable("XDG_STATE_HOME", state);
        EXPECT_EQ(files->LogFolder(), folder) << (state ? state : "unset");
    }
}

TEST_F(PosixFileSystem, AppendToFileMakesAPrivateFolderAndWritesAllOfShortWrites) {
    Sys().Write = [](int fd, const void* data, std::size_t count) -> ssize_t {
        return ::write(fd, data, count > 3 ? 3 : count);  // three bytes at a time
    };
    const std::string log = scratch / "state/tolvane/Tolvane.20240302.log";
    files->AppendToFile(log, "09:05:07 Start GetTempFile\r\n");
    const std::string bytes("\0\xff\r\n", 4);
    files->AppendToFile(log, bytes);
    EXPECT_EQ(ReadFile(log), "09:05:07 Start GetTempFile\r\n" + bytes) << "bytes as they are";
    EXPECT_EQ(ModeOf(scratch / "state/tolvane") & 0777, 0700u);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(ModeOf(log) & 0777, 0644u & ~mask);
}

}  // namespace
