// The file's size and the path's parts, for the odd inputs a whole run does not bring.
#include <sys/stat.h>

#include <cerrno>

#include "PosixTestSupport.h"
#include "components/FileTools.h"
#include "components/posix/SystemCalls.h"

namespace {

using namespace PosixTest;
using Components::FileTools;

class PosixFileTools : public ::testing::Test {
  protected:
    std::unique_ptr<FileTools> tools =
        Components::CreatePlatformInstance(Components::Tag<FileTools>{});
    ScratchFolder scratch;
};

TEST_F(PosixFileTools, FileSizeFollowsLinksIsZeroForEntriesWithoutBytesAndNegativeForNone) {
    WriteFile(scratch / "full.mdb", std::string(12345, 'x'));
    fs::create_symlink(scratch / "full.mdb", scratch / "link.mdb");
    fs::create_symlink(scratch / "nowhere", scratch / "dangling");
    fs::create_symlink("loop", scratch / "loop");
    EXPECT_EQ(tools->FileSize(scratch / "link.mdb"), 12345);
    for (const std::string& path :
         {scratch.Path().string(), scratch / "dangling", scratch / "loop"})
        EXPECT_EQ(tools->FileSize(path), 0) << path << " takes its name";
    for (const std::string& path :
         {std::string(), scratch / "full.mdb/below-a-file", std::string(5000, 'a')}) {
        EXPECT_LT(tools->FileSize(path), 0) << path;
    }
}

TEST_F(PosixFileTools, FileSizeRaisesWhenItCannotTell) {
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

TEST_F(PosixFileTools, FolderOfAndPathWithoutExtension) {
    for (const auto& [path, folder] :
         {std::pair{"/data/shop/Shop.mdb", "/data/shop/"}, std::pair{"/Shop.mdb", "/"},
          std::pair{"/data/shop/", "/data/shop/"}, std::pair{"relative/Shop.mdb", "relative/"},
          std::pair{"Shop.mdb", ""}, std::pair{"/my data.d/ Shop .mdb ", "/my data.d/"}}) {
        EXPECT_EQ(tools->FolderOf(path, 0), folder) << path;
    }
    for (const auto& [path, stem] :
         {std::pair{"/data/Shop.mdb", "/data/Shop"},
          std::pair{"/data/Shop.old.mdb", "/data/Shop.old"},
          std::pair{"/data.d/Shop", "/data.d/Shop"}, std::pair{"/data/.hidden", "/data/.hidden"},
          std::pair{"/data/.hidden.mdb", "/data/.hidden"}, std::pair{"/data/Shop.", "/data/Shop"},
          std::pair{" Shop .mdb ", " Shop "}, std::pair{"", ""}}) {
        EXPECT_EQ(tools->PathWithoutExtension(path), stem) << path;
    }
}

}  // namespace
