#include <sys/stat.h>

#include "PosixTestSupport.h"
#include "components/FileTools.h"

namespace {

using namespace PosixTest;
using Components::CreatePlatformInstance;
using Components::FileTools;
using Components::Tag;

class PosixFileTools : public ::testing::Test {
  protected:
    std::unique_ptr<FileTools> tools = CreatePlatformInstance(Tag<FileTools>{});
    ScratchFolder scratch;
};

TEST_F(PosixFileTools, FileSizeOfRegularFilesAndLinksToThem) {
    WriteFile(scratch / "full.mdb", std::string(12345, 'x'));
    WriteFile(scratch / "empty.mdb", "");
    fs::create_symlink(scratch / "full.mdb", scratch / "link.mdb");
    EXPECT_EQ(tools->FileSize(scratch / "full.mdb"), 12345);
    EXPECT_EQ(tools->FileSize(scratch / "empty.mdb"), 0);
    EXPECT_EQ(tools->FileSize(scratch / "link.mdb"), 12345) << "a link is followed";
}

TEST_F(PosixFileTools, FileSizeIsNegativeForWhatHoldsNoFile) {
    ASSERT_EQ(::mkfifo((scratch / "pipe").c_str(), 0600), 0);
    WriteFile(scratch / "file", "x");
    fs::create_symlink(scratch / "nowhere", scratch / "dangling");
    for (const std::string& path :
         {std::string(), scratch / "missing.mdb", scratch.Path().string(), scratch / "pipe",
          std::string("/dev/null"), scratch / "dangling", scratch / "file/below-a-file",
          std::string(5000, 'a')}) {
        EXPECT_LT(tools->FileSize(path), 0) << path;
    }
}

TEST_F(PosixFileTools, FolderOfEndsInTheSeparator) {
    EXPECT_EQ(tools->FolderOf("/data/shop/Shop.mdb", 0), "/data/shop/");
    EXPECT_EQ(tools->FolderOf("/Shop.mdb", 0), "/");
    EXPECT_EQ(tools->FolderOf("/data/shop/", 0), "/data/shop/");
    EXPECT_EQ(tools->FolderOf("relative/Shop.mdb", 0), "relative/");
    EXPECT_EQ(tools->FolderOf("Shop.mdb", 0), "") << "no folder part";
    EXPECT_EQ(tools->FolderOf("/my data.d/ Shop .mdb ", 0), "/my data.d/");
}

TEST_F(PosixFileTools, PathWithoutExtensionRemovesOnlyTheNamesLastExtension) {
    EXPECT_EQ(tools->PathWithoutExtension("/data/Shop.mdb"), "/data/Shop");
    EXPECT_EQ(tools->PathWithoutExtension("/data/Shop.old.mdb"), "/data/Shop.old");
    EXPECT_EQ(tools->PathWithoutExtension("/data.d/Shop"), "/data.d/Shop") << "dot in a folder";
    EXPECT_EQ(tools->PathWithoutExtension("/data/.hidden"), "/data/.hidden");
    EXPECT_EQ(tools->PathWithoutExtension("/data/.hidden.mdb"), "/data/.hidden");
    EXPECT_EQ(tools->PathWithoutExtension("/data/Shop."), "/data/Shop");
    EXPECT_EQ(tools->PathWithoutExtension(" Shop .mdb "), " Shop ");
    EXPECT_EQ(tools->PathWithoutExtension(""), "");
}

}  // namespace

#include <cerrno>

#include "components/posix/SystemCalls.h"

namespace {

using namespace PosixTest;

TEST(PosixFileToolsFailures, FileSizeRaisesWhenItCannotTell) {
    auto tools = Components::CreatePlatformInstance(Components::Tag<Components::FileTools>{});
    Components::Posix::SystemCallsRestorer restore;
    static int injected;
    Components::Posix::Sys().Stat = [](const char*, struct stat*) {
        errno = injected;
        return -1;
    };
    injected = EACCES;
    auto raised = Raised([&] { tools->FileSize("/locked/Shop.mdb"); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Number(), 70);
    EXPECT_NE(raised->Description().find("/locked/Shop.mdb"), std::string::npos);
    EXPECT_EQ(Err::Current().LastDllError, EACCES);

    injected = EIO;
    raised = Raised([&] { tools->FileSize("/bad/Shop.mdb"); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Number(), 75);
}

}  // namespace
