// Input the program must refuse, each with a message that says why and with every file as it
// was; and awkward but valid input, compacted like any other.
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <map>

#include "program/ProgramSupport.h"

namespace {

using namespace ProgramTest;

// Every entry below `folder`: its permissions and a file's size and digest, a link's target
// or its kind.
std::map<std::string, std::string> Tree(const fs::path& folder) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const fs::file_status status = entry.symlink_status();
        std::string what = std::to_string(static_cast<int>(status.permissions())) + " ";
        if (fs::is_symlink(status)) {
            what += "link to " + fs::read_symlink(entry.path()).string();
        } else if (fs::is_regular_file(status)) {
            const std::string bytes = ReadFile(entry.path());
            what += std::to_string(bytes.size()) + " bytes #" +
                    std::to_string(std::hash<std::string>{}(bytes));
        } else {
            what += "kind " + std::to_string(static_cast<int>(status.type()));
        }
        tree[entry.path().lexically_relative(folder)] = what;
    }
    return tree;
}

std::string Replaced(std::string text, const std::string& token, const std::string& by) {
    for (auto at = text.find(token); at != std::string::npos; at = text.find(token, at + by.size()))
        text.replace(at, token.size(), by);
    return text;
}

const std::string kReport =
    "There was a problem Compacting/Repairing the database: <path> and the error's description "
    "was reported as : \n\n\"";
const std::string kCorrupt =
    kReport +
    "Cannot open database '<path>'. It may not be a database this engine recognizes, or the file "
    "may be corrupt: ";

struct Refusal {
    const char* name;
    void (*arrange)(const fs::path& file);  // makes what the user picks, in the data folder
    // What the program says; "<path>" stands for the path typed, "<stem>" for it without
    // its extension.
    std::string said;
    std::string file = "Shop.mdb";
    bool locked = false;
};

void Database(const fs::path& file) { WriteFile(file, TestDatabase::Make()); }

const Refusal kRefusals[] = {
    {"NotADatabase", [](const fs::path& file) { WriteFile(file, "just some text"); },
     kReport + "Unrecognized database format '<path>': it does not begin as a database file does. "
               "(3343)\""},
    {"TruncatedHeader",
     [](const fs::path& file) { WriteFile(file, TestDatabase::Make().substr(0, 16)); },
     kCorrupt + "the file ends inside its header. (3049)\""},
    {"PartOfAPage",
     [](const fs::path& file) { WriteFile(file, TestDatabase::Make().substr(0, 12288) + "xyz"); },
     kCorrupt + "its size of 12291 bytes is not a whole number of 4096-byte pages. (3049)\""},
    {"Damaged",
     [](const fs::path& file) {
         std::string bytes = TestDatabase::Make();
         bytes[TestDatabase::kFirstRowsPage * 4096 + 4] = 9;  // the rows page's owner
         WriteFile(file, bytes);
     },
     kCorrupt + "table Orders, page 6: the page is in the table's map but is not a data page of "
                "that table. (3049)\""},
    {"ZeroLength", [](const fs::path& file) { WriteFile(file, ""); }, kWarning},
    {"Missing", [](const fs::path&) {}, kWarning},
    {"Folder", [](const fs::path& file) { fs::create_directory(file); }, kWarning},
    {"Fifo", [](const fs::path& file) { EXPECT_EQ(mkfifo(file.c_str(), 0644), 0); }, kWarning},
    {"Device",
     [](const fs::path& file) {
         // The null device, made here where this user may make one, else a link to it.
         if (mknod(file.c_str(), S_IFCHR | 0644, makedev(1, 3)) != 0)
             fs::create_symlink("/dev/null", file);
     },
     kWarning},
    {"Unreadable",
     [](const fs::path& file) {
         Database(file);
         fs::permissions(file, fs::perms::none);
     },
     kReport + "Cannot open the file '<path>': you need permission to read its data. (Permission "
               "denied) (3051)\""},
    {"ReadOnlyFolder",
     [](const fs::path& file) {
         Database(file);
         fs::permissions(file.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
     },
     "There was a problem making the compacted copy of the database: <path>: no new file can be "
     "created in its folder (system error 13), so the database has not been changed"},
    {"BackupNameTooLong", Database,
     "There was a problem renaming the database: <path> to its backup name <stem>-0001.BAK; the "
     "database has not been changed and the error's description was reported as : \n\n"
     "\"Path/File access error\"",
     std::string(247, 'L') + ".db"},
    {"LockedByAnotherProcess", Database,
     kReport + "Could not use '<path>'; file already in use by another process. (3045)\"",
     "Shop.mdb", true},
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.name; }

class BadInput : public Program, public ::testing::WithParamInterface<Refusal> {};

TEST_P(BadInput, IsRefusedWithAClearMessageAndNothingChanged) {
    const Refusal& refusal = GetParam();
    const std::string path = data / refusal.file;
    refusal.arrange(path);
    unprivileged = true;  // as a user runs it: permissions bind
    const auto before = Tree(data);

    pid_t holder = -1;
    if (refusal.locked) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        holder = fork();
        if (holder == 0) {
            flock(open(path.c_str(), O_RDONLY), LOCK_EX);
            (void)!write(ready[1], "x", 1);
            pause();
            _exit(0);
        }
        char x;
        ASSERT_EQ(read(ready[0], &x, 1), 1);
    }
    const Outcome run = Run(path + "\ny\ny\n\n");
    if (holder > 0) {
        kill(holder, SIGKILL);
        waitpid(holder, nullptr, 0);
    }

    EXPECT_EQ(run.Status(), 0) << run.output;
    const std::string stem = path.substr(0, path.rfind('.'));
    const std::string said = Replaced(Replaced(refusal.said, "<path>", path), "<stem>", stem);
    EXPECT_NE(run.output.find(said), std::string::npos) << "expected:\n"
                                                        << said << "\nsaw:\n"
                                                        << run.output;
    EXPECT_EQ(run.output.find(kSuccess), std::string::npos);
    EXPECT_EQ(Tree(data), before);
    fs::permissions(data, fs::perms::owner_all);
}

INSTANTIATE_TEST_SUITE_P(Program, BadInput, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

struct Awkward {
    const char* name;
    std::string database, typed, backup;  // below the data folder
};

const Awkward kAwkward[] = {
    {"SpacesAtBothEnds", " Shop .mdb ", " Shop .mdb ", " Shop -0001.BAK"},
    {"NonAscii", "Données/Café ü.mdb", "Données/Café ü.mdb", "Données/Café ü-0001.BAK"},
    // The backup stays beside the database the link leads to, and the link leads there still.
    {"SymbolicLink", "real/Shop.mdb", "links/Link.mdb", "real/Shop-0001.BAK"},
};

void PrintTo(const Awkward& awkward, std::ostream* out) { *out << awkward.name; }

class AwkwardInput : public Program, public ::testing::WithParamInterface<Awkward> {};

TEST_P(AwkwardInput, IsCompactedWithTheBackupBesideTheDatabase) {
    const Awkward& awkward = GetParam();
    fs::create_directories((data / awkward.database).parent_path());
    WriteFile(data / awkward.database, TestDatabase::Make());
    if (awkward.typed != awkward.database) {
        fs::create_directories((data / awkward.typed).parent_path());
        fs::create_symlink("../" + awkward.database, data / awkward.typed);
    }
    WriteFile(data / "Bystander.mdb", TestDatabase::Make({.rows = 2}));
    auto expected = Tree(data);

    const Outcome run = Run((data / awkward.typed).string() + "\ny\ny\n\n");
    EXPECT_NE(run.output.find(kSuccess), std::string::npos) << run.output;
    expected[awkward.backup] = expected[awkward.database];
    EXPECT_EQ(Tree(data), expected);
}

INSTANTIATE_TEST_SUITE_P(Program, AwkwardInput, ::testing::ValuesIn(kAwkward),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
