// The real POSIX components against a scratch folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <set>
#include <sstream>

#include "components/CurrentError.h"
#include "components/DatabaseEngine.h"
#include "components/FileSystem.h"
#include "components/FileTools.h"
#include "components/LogSettings.h"
#include "components/TempNameServices.h"
#include "components/UserInterface.h"
#include "components/posix/DatabaseFormat.h"
#include "components/posix/TerminalDialogObject.h"

namespace fs = std::filesystem;
using namespace Components;

namespace {

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
std::string Database(int pages, char version = 1, const char* signature = "Standard Jet DB") {
    std::string bytes(static_cast<std::size_t>(pages) * (version == 0 ? 2048 : 4096), '\x5a');
    bytes[0] = 0;
    bytes.replace(4, 16, std::string(signature, 15) + '\0');
    bytes[0x14] = version;
    return bytes;
}
std::int32_t RaisedNumber(const std::function<void()>& action) {
    try {
        action();
    } catch (const Err::Error& e) {
        return e.Number();
    }
    return 0;
}

class Posix : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tolvane-posix-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        fs::permissions(dir, fs::perms::owner_all);
        fs::remove_all(dir);
    }
    fs::path dir;
};

TEST_F(Posix, FileSizeKnowsOnlyRegularFiles) {
    auto& tools = The<FileTools>();
    Write(dir / "empty", "");
    Write(dir / "full", "12345");
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_symlink(dir / "full", dir / "link");
    EXPECT_EQ(tools.FileSize((dir / "full").string()), 5);
    EXPECT_EQ(tools.FileSize((dir / "link").string()), 5);
    EXPECT_EQ(tools.FileSize((dir / "empty").string()), 0);
    for (const fs::path& none :
         {dir / "missing", dir, dir / "pipe", fs::path("/dev/null"), fs::path()}) {
        EXPECT_LT(tools.FileSize(none.string()), 0) << none;
    }
}

TEST_F(Posix, PathPieces) {
    auto& tools = The<FileTools>();
    EXPECT_EQ(tools.FolderOf("/a/b.c/Shop.mdb", 0), "/a/b.c/");
    EXPECT_EQ(tools.FolderOf("Shop.mdb", 0), "");
    EXPECT_EQ(tools.PathWithoutExtension("/a/b.c/Shop.old.mdb"), "/a/b.c/Shop.old");
    EXPECT_EQ(tools.PathWithoutExtension("/a/b.c/Shop"), "/a/b.c/Shop");
    EXPECT_EQ(tools.PathWithoutExtension("/a/.hidden"), "/a/.hidden");
}

TEST_F(Posix, RenameNeverReplaces) {
    auto& files = The<FileSystem>();
    Write(dir / "a", "A");
    Write(dir / "b", "B");
    EXPECT_EQ(RaisedNumber([&] { files.Rename((dir / "a").string(), (dir / "b").string()); }), 58);
    EXPECT_EQ(Read(dir / "a"), "A");
    EXPECT_EQ(Read(dir / "b"), "B");
    EXPECT_EQ(RaisedNumber([&] { files.Rename((dir / "gone").string(), (dir / "c").string()); }),
              53);
    files.Rename((dir / "a").string(), (dir / "c").string());
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_EQ(Read(dir / "c"), "A");
    EXPECT_EQ(RaisedNumber([&] { files.Kill((dir / "a").string()); }), 53);
}

TEST_F(Posix, TempNamesAreCreatedExclusivelyAndNeverReused) {
    auto& names = The<TempNameServices>();
    std::string buffer(1024, ' ');
    std::set<std::string> made;
    for (int i = 0; i < 20; ++i) {
        ASSERT_GT(names.GetTempFileName(dir.string(), "TOLVANE", 0, buffer), 0u);
        const std::string name = buffer.substr(0, buffer.find('\0'));
        EXPECT_EQ(fs::path(name).parent_path(), dir);
        EXPECT_EQ(fs::path(name).filename().string().substr(0, 3), "TOL");
        EXPECT_EQ(name.substr(name.size() - 4), ".TMP");
        EXPECT_EQ(fs::file_size(name), 0u);
        EXPECT_TRUE(made.insert(name).second) << "handed out twice: " << name;
    }
    EXPECT_EQ(names.GetTempFileName((dir / "no/such").string(), "TOL", 0, buffer), 0u);
    EXPECT_EQ(Err::Current().LastDllError, ENOENT);

    setenv("TMPDIR", dir.c_str(), 1);
    EXPECT_EQ(names.GetTempPath(1023, buffer), dir.string().size() + 1);
    EXPECT_EQ(buffer.substr(0, buffer.find('\0')), dir.string() + "/");
    unsetenv("TMPDIR");
}

TEST_F(Posix, LoggingLevelFile) {
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    auto& settings = The<LogSettings>();
    EXPECT_EQ(settings.LoggingLevel(), 5) << "absent means 5";
    fs::create_directories(dir / "tolvane");
    for (auto [text, level] : std::vector<std::pair<std::string, int>>{
             {" 10\n", 10}, {"-1", -1}, {"0", 0}, {"ten", 5}, {"7 8", 5}}) {
        Write(dir / "tolvane/logging-level", text);
        EXPECT_EQ(settings.LoggingLevel(), level) << text;
    }
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(settings.PadText("42", 5, " "), "   42");
    EXPECT_EQ(settings.PadText("123456", 3, " "), "123456");
}

TEST_F(Posix, TerminalMessageBoxAnswers) {
    struct Case {
        std::string input;
        std::int32_t flags, answer;
    } cases[] = {
        {"y\n", 292, kIdYes},      {"NO\n", 292, kIdNo}, {"\n", 292, kIdNo},
        {"\n", 36, kIdYes},        {"", 292, kIdNo},     {"maybe\nYes\n", 292, kIdYes},
        {"anything\n", 48, kIdOk},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.input);
        std::ostringstream out;
        auto* oldIn = std::cin.rdbuf(in.rdbuf());
        auto* oldOut = std::cout.rdbuf(out.rdbuf());
        const auto answer = The<MessageBox>().Show("line one\nline two", c.flags, "Title");
        std::cin.rdbuf(oldIn);
        std::cout.rdbuf(oldOut);
        EXPECT_EQ(answer, c.answer) << c.input;
        EXPECT_NE(out.str().find("Title"), std::string::npos);
        EXPECT_NE(out.str().find("line one\nline two"), std::string::npos);
    }
}

TEST_F(Posix, TerminalDialogObjectCancelsWithTheCancelError) {
    auto dialog = CreateTerminalDialogObject();
    dialog->SetProperty("CancelError", std::int16_t{-1});
    std::istringstream in("\n/data/Shop.mdb\n");
    auto* oldIn = std::cin.rdbuf(in.rdbuf());
    std::ostringstream out;
    auto* oldOut = std::cout.rdbuf(out.rdbuf());
    const auto cancelled = RaisedNumber([&] { dialog->SetProperty("Action", std::int16_t{1}); });
    dialog->SetProperty("Action", std::int16_t{1});
    std::cin.rdbuf(oldIn);
    std::cout.rdbuf(oldOut);
    EXPECT_EQ(cancelled, Err::kDialogCancelled);
    EXPECT_EQ(std::get<std::string>(dialog->GetProperty("Filename")), "/data/Shop.mdb");
    EXPECT_EQ(RaisedNumber([&] { dialog->GetProperty("Colour"); }), 438);
}

TEST(DatabaseHeader, Verdicts) {
    auto verdict = [](const std::string& bytes, std::uint64_t size) {
        return CheckDatabaseHeader(reinterpret_cast<const unsigned char*>(bytes.data()),
                                   std::min<std::size_t>(bytes.size(), kHeaderBytes), size);
    };
    EXPECT_EQ(verdict(Database(1, 0), 2048), DatabaseVerdict::kDatabase);
    EXPECT_EQ(verdict(Database(2, 1), 8192), DatabaseVerdict::kDatabase);
    EXPECT_EQ(verdict(Database(1, 6, "Standard ACE DB"), 4096), DatabaseVerdict::kDatabase);
    EXPECT_EQ(verdict(Database(1, 2), 4096), DatabaseVerdict::kUnrecognised)
        << "Jet with a later version";
    EXPECT_EQ(verdict(Database(1, 7, "Standard ACE DB"), 4096), DatabaseVerdict::kUnrecognised);
    EXPECT_EQ(verdict(Database(1, 1, "Standard Xet DB"), 4096), DatabaseVerdict::kUnrecognised);
    EXPECT_EQ(verdict(Database(1, 1).substr(0, 0x14), 0x14), DatabaseVerdict::kUnrecognised);
    EXPECT_EQ(verdict(Database(1, 1), 4095), DatabaseVerdict::kCorrupt);
    EXPECT_EQ(verdict(Database(1, 0), 3000), DatabaseVerdict::kCorrupt);
}

TEST_F(Posix, EngineCopiesByteForByteWithTheSourcesMode) {
    const std::string bytes = Database(300);  // more than one copy buffer
    Write(dir / "Shop.mdb", bytes);
    chmod((dir / "Shop.mdb").c_str(), 0640);
    The<DatabaseEngine>().CompactDatabase((dir / "Shop.mdb").string(), (dir / "TOL1.MDB").string());
    EXPECT_EQ(Read(dir / "TOL1.MDB"), bytes);
    struct stat info {};
    stat((dir / "TOL1.MDB").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(Posix, EngineRefusesBadInputAndLeavesNoCopy) {
    const fs::path source = dir / "Shop.mdb", copy = dir / "TOL1.MDB";
    auto compact = [&] {
        return RaisedNumber(
            [&] { The<DatabaseEngine>().CompactDatabase(source.string(), copy.string()); });
    };
    struct Case {
        std::string bytes;
        std::int32_t number;
    } cases[] = {
        {"", 3343},
        {"plain text, not a database", 3343},
        {Database(1).substr(0, 10), 3343},
        {Database(2).substr(0, 5000), 3049},
    };
    for (const auto& c : cases) {
        Write(source, c.bytes);
        EXPECT_EQ(compact(), c.number);
        EXPECT_FALSE(fs::exists(copy));
    }
    fs::remove(source);
    EXPECT_EQ(compact(), 3024);
    ASSERT_EQ(mkfifo(source.c_str(), 0600), 0);
    EXPECT_EQ(compact(), 3343) << "a pipe is refused without waiting for a writer";
    fs::remove(source);

    Write(source, Database(1));
    Write(copy, "someone else's");
    EXPECT_EQ(compact(), 3204);
    EXPECT_EQ(Read(copy), "someone else's");
    fs::remove(copy);

    int locked[2];
    ASSERT_EQ(pipe(locked), 0);
    const pid_t other = fork();
    if (other == 0) {  // another process holding the database
        flock(open(source.c_str(), O_RDONLY), LOCK_EX);
        (void)!write(locked[1], "x", 1);
        pause();
        _exit(0);
    }
    char x;
    ASSERT_EQ(read(locked[0], &x, 1), 1);
    EXPECT_EQ(compact(), 3045);
    EXPECT_FALSE(fs::exists(copy));
    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
}

}  // namespace
