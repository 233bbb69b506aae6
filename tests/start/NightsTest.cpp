// Unattended runs that meet each other or earlier runs: two at once on one database, and
// backups kept to a number over several nights.
#include "components/CommandLine.h"
#include "components/posix/SystemCalls.h"
#include "start/StartModule.h"
#include "support/WholeRun.h"

namespace {

using namespace WholeRun;
using namespace std::chrono_literals;

}  // namespace

// Two unattended runs on one database, the second started while the first is in its copy: the
// first compacts it and the other finds it in use, whatever the machine's pace.
int g_inCopy[2], g_release[2];

class AtOnce : public Scratch {
  protected:
    AtOnce() : Scratch(true) {}
};

TEST_F(AtOnce, OneCompactsAndTheOtherFindsTheDatabaseInUse) {
    const std::string old = Database::Small();
    WriteFile(data / "Shop.mdb", old);
    ASSERT_EQ(pipe(g_inCopy), 0);
    ASSERT_EQ(pipe(g_release), 0);
    const auto run = [&](bool first) {
        return Start("", [&, first] {
            if (first) {  // it waits inside its copy until the other run has ended
                Components::Posix::Sys().CopyFileRange = [](int in, int out, std::size_t count) {
                    char byte;
                    close(g_release[1]);
                    if (write(g_inCopy[1], "c", 1) != 1 || read(g_release[0], &byte, 1) != 0) {
                        _exit(125);
                    }
                    return Components::Posix::RealSystemCalls().CopyFileRange(in, out, count);
                };
            }
            std::string name = "tolvane", option = "--compact", db = (data / "Shop.mdb").string();
            char* argv[] = {name.data(), option.data(), db.data()};
            Components::KeepStartArguments(3, argv);
            return StartModule::Main();
        });
    };
    const pid_t first = run(true);
    char byte;
    ASSERT_EQ(read(g_inCopy[0], &byte, 1), 1);
    EXPECT_EQ(Wait(run(false)).Status(), 1);
    EXPECT_NE(Log().find("is in use and was left as it was; try again later: error 3045"),
              std::string::npos)
        << Log();
    close(g_release[1]);
    EXPECT_EQ(Wait(first).Status(), 0);
    EXPECT_EQ(Files(), (std::set<std::string>{"Shop.mdb", "Shop-0001.BAK"}));
    EXPECT_EQ(ReadFile(data / "Shop-0001.BAK"), old);
    EXPECT_EQ(ReadFile(data / "Shop.mdb"), old);
    close(g_inCopy[0]), close(g_inCopy[1]), close(g_release[0]);
}

// Backups kept to a number over several runs: the newest of that database's own stay, the one
// just made always, new ones still take the first free number, and no other file goes; beside
// another database of the same stem, nothing goes.
TEST_F(AtOnce, KeepLeavesTheNewestBackupsOfThatDatabaseOnly) {
    const auto compact = [&](const char* keep) {
        return Wait(Start("",
                          [&] {
                              std::string args[] = {"tolvane", "--compact", "--keep", keep,
                                                    (data / "Shop.mdb").string()};
                              char* argv[] = {args[0].data(), args[1].data(), args[2].data(),
                                              args[3].data(), args[4].data()};
                              return StartModule::Run(5, argv);
                          }))
            .Status();
    };
    std::set<std::string> files = {"Shop.mdb",          "Shop-12.BAK",    "Shop-0003.bak",
                                   "Shopping-0001.BAK", "Stale-0001.BAK", "Shop-0001.BAK.txt"};
    for (const std::string& name : files) WriteFile(data / name, Database::Small());
    int days = 0;
    for (const char* name : {"Shop-0002.BAK", "Shop-0005.BAK", "Shop-0001.BAK"}) {
        WriteFile(data / name, "");
        fs::last_write_time(data / name, fs::file_time_type::clock::now() - ++days * 24h);
    }
    EXPECT_EQ(compact("2"), 0);  // makes -0003, keeps -0002
    EXPECT_EQ(compact("2"), 0);  // makes -0001, keeps -0003 (written just now)
    files.insert({"Shop-0001.BAK", "Shop-0003.BAK"});
    EXPECT_EQ(Files(), files) << Log();
    WriteFile(data / "Shop.MDB", "");
    EXPECT_EQ(compact("1"), 0);
    files.insert({"Shop.MDB", "Shop-0002.BAK"});
    EXPECT_EQ(Files(), files);
    EXPECT_NE(Log().find("/Shop.MDB' has the same name before its extension"), std::string::npos);
}
