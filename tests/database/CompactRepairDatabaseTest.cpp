// The compact operation called as other callers call it (silently, through their own dialog),
// and the failures a whole run rarely meets (renames refused, every backup name taken), each
// in a child process with the platform's own components and one system call made to fail.
#include <regex>
#include <set>

#include "components/CurrentError.h"
#include "components/FileTools.h"
#include "components/UserInterface.h"
#include "components/posix/SystemCalls.h"
#include "components/posix/TerminalDialogObject.h"
#include "database/DAO_DatabaseFunctions.h"
#include "support/WholeRun.h"

namespace {

using namespace WholeRun;
using namespace Components;
using DAO_DatabaseFunctions::CompactRepairDatabase;

const std::string kReport = "There was a problem ";
const std::string kSaid = " and the error's description was reported as : \n\n\"";

std::set<int> g_refusedRenames;  // numbered from 1; the child inherits them
bool g_unlinkFails = false;

class CompactRepair : public Scratch {
  protected:
    CompactRepair() : Scratch(true) { WriteFile(db, old); }

    // The operation in a child, which prints every shape the pointer is given and ends with 0
    // for True (all bits set), 1 for False (0), 2 for anything else. `prepare` runs first: it
    // makes system calls fail or puts in a double.
    Outcome Compact(const std::string& path, qnGeneral::Truth silent = 0,
                    const std::function<void()>& prepare = {}, const std::string& input = "y\n\n",
                    std::shared_ptr<DialogObject> dialog = {}, const std::string& folder = "") {
        return Wait(Start(input, [&] {
            struct Shown : MousePointer {
                std::int32_t shape = 0;
                std::int32_t Get() override { return shape; }
                void Set(std::int32_t s) override {
                    std::cout << "pointer " << (shape = s) << "\n";
                }
            };
            Instance<MousePointer>::Install(std::make_unique<Shown>());
            if (prepare) prepare();
            const auto answer = CompactRepairDatabase(path, dialog, folder, silent);
            return answer == -1 ? 0 : answer == 0 ? 1 : 2;
        }));
    }

    static void RefuseRenames() {
        Posix::Sys().RenameNoReplace = [](const char* from, const char* to) {
            static int renames = 0;
            if (g_refusedRenames.contains(++renames)) return errno = EACCES, -1;
            return Posix::RealSystemCalls().RenameNoReplace(from, to);
        };
        if (g_unlinkFails) Posix::Sys().Unlink = [](const char*) { return errno = EIO, -1; };
    }

    std::string Copy() const {  // the name of the engine's copy, empty when there is none
        for (const std::string& name : Files()) {
            if (name.starts_with("TOL")) return (data / name).string();
        }
        return "";
    }

    const fs::path db = data / "Shop.mdb", backup = data / "Shop-0001.BAK";
    const std::string old = TestDatabase::Make();
};

TEST_F(CompactRepair, SilentlyNoBoxIsShownAndFailuresGoToTheLogOnly) {
    Outcome run = Compact(db, 1);
    EXPECT_EQ(run.Status(), 0);
    EXPECT_EQ(run.output, "pointer 11\npointer 0\n");
    EXPECT_EQ(ReadFile(backup), old);

    WriteFile(db, "just some text");
    run = Compact(db, 5);
    EXPECT_EQ(run.Status(), 1);
    EXPECT_TRUE(run.output.starts_with("pointer 11\npointer 0\n")) << run.output;
    EXPECT_EQ(run.output.find("=="), std::string::npos) << "no box: " << run.output;
    EXPECT_NE(Log().find(kReport + "Compacting/Repairing the database: " + db.string() + kSaid +
                         "Unrecognized database format"),
              std::string::npos)
        << Log();
    EXPECT_EQ(ReadFile(db), "just some text");
}

// The question shows the path as given; the report, trimmed; one report and nothing moved.
TEST_F(CompactRepair, AFailedCompactionIsReportedOnceWithThePathTrimmed) {
    const std::string spaced = (data / "  Notes.mdb ").string();
    WriteFile(spaced, "just some text");
    const Outcome run = Compact(spaced);
    EXPECT_EQ(run.Status(), 1);
    EXPECT_NE(run.output.find("compacting/repairing:\n\n\t" + spaced + "\n"), std::string::npos);
    const std::string report = kReport +
                               "Compacting/Repairing the database: " + qnGeneral::Trim(spaced) +
                               kSaid + "Unrecognized database format";
    EXPECT_NE(run.output.find("== Tolvane [Warning] ==\n" + report), std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find(kReport), run.output.rfind(kReport));
    EXPECT_TRUE(run.output.ends_with("pointer 0\n"));
    EXPECT_EQ(Files(), (std::set<std::string>{"Shop.mdb", "  Notes.mdb "}));
}

TEST_F(CompactRepair, ACopyTheEngineCouldNotCheckIsSaidSoInTheLog) {
    std::string unknown = old;
    unknown[TestDatabase::kTablePage * 4096 + 63 + 25] = 21;  // the type of column Name
    WriteFile(db, unknown);
    EXPECT_EQ(Compact(db).Status(), 0);
    EXPECT_NE(Log().find(" could not be checked: "), std::string::npos)
        << Log();
}

// Which renames the file system refuses, what the user is told and what is left.
TEST_F(CompactRepair, RefusedRenamesLeaveTheDatabaseOrNameWhereItIs) {
    const struct {
        std::set<int> refused;
        bool unlinkFails;
        std::string said;  // <copy> stands for the copy's path
        std::set<std::string> left;
    } cases[] = {
        {{1},
         false,
         "renaming the database: " + db.string() + " to its backup name " + backup.string() +
             "; the database has not been changed" + kSaid + "Permission denied\"",
         {"Shop.mdb"}},
        {{1},
         true,
         "; the database has not been changed; the compacted copy is left as <copy>" + kSaid,
         {"Shop.mdb", "<copy>", "<reserved>"}},
        {{2},
         false,
         "giving the compacted copy the database's name: " + db.string() +
             "; the database has been left as it was" + kSaid + "Permission denied\"",
         {"Shop.mdb"}},
        {{2, 3},
         false,
         "giving the compacted copy the database's name: " + db.string() +
             "; the old database is now " + backup.string() + " and the compacted copy is <copy>",
         {"Shop-0001.BAK", "<copy>"}},
    };
    for (const auto& c : cases) {
        Reset();
        WriteFile(db, old);
        g_refusedRenames = c.refused;
        g_unlinkFails = c.unlinkFails;
        const Outcome run = Compact(db, 0, RefuseRenames);
        SCOPED_TRACE(c.said);
        const std::string copy = Copy();
        std::set<std::string> left;
        for (std::string name : c.left) {
            if (name == "<copy>") name = fs::path(copy).filename();
            if (name == "<reserved>") name = fs::path(copy).replace_extension(".TMP").filename();
            left.insert(name);
        }
        EXPECT_EQ(Files(), left);
        EXPECT_EQ(run.Status(), 1);
        const std::string said = std::regex_replace(c.said, std::regex("<copy>"), copy);
        EXPECT_NE(run.output.find(said), std::string::npos) << run.output;
        EXPECT_EQ(ReadFile(left.contains("Shop.mdb") ? db : backup), old);
        EXPECT_TRUE(run.output.ends_with("pointer 0\n"));
    }
}

TEST_F(CompactRepair, BackupNumbersGrowPastFourDigitsAndEndAtTheLast) {
    for (int n = 1; n <= 9999; ++n)
        WriteFile(DAO_DatabaseFunctions::BackupName(data / "Shop", n), "");
    EXPECT_EQ(Compact(db).Status(), 0);
    EXPECT_EQ(ReadFile(data / "Shop-10000.BAK"), old);

    Reset();
    WriteFile(db, old);
    const Outcome run = Compact(db, 0, [] {
        // No backup name can be checked: a dropped share, not 32,767 slow lookups.
        Posix::Sys().Stat = [](const char* path, struct stat* status) {
            if (!std::string(path).ends_with(".BAK")) return ::stat(path, status);
            return errno = EIO, -1;
        };
    });
    EXPECT_NE(
        run.output.find(kReport + "finding a free backup name for the database: " + db.string() +
                        ", the same error came back for 16 names in a row; the database has "
                        "not been changed"),
        std::string::npos)
        << run.output;
    EXPECT_EQ(Files(), std::set<std::string>{"Shop.mdb"});
}

TEST_F(CompactRepair, AFolderThatCannotBeToldIsReportedAndChangesNothing) {
    struct NoFolder : FileTools {
        std::unique_ptr<FileTools> real = CreatePlatformInstance(Tag<FileTools>{});
        double FileSize(std::string path) override { return real->FileSize(path); }
        std::string FolderOf(std::string, std::int32_t) override { Err::Raise(57, "FolderOf"); }
        std::string PathWithoutExtension(std::string path) override {
            return real->PathWithoutExtension(path);
        }
    };
    const Outcome run =
        Compact(db, 0, [] { Instance<FileTools>::Install(std::make_unique<NoFolder>()); });
    EXPECT_NE(
        run.output.find(kReport + "finding a temporary name beside the database: " + db.string() +
                        "; the database has not been changed" + kSaid + "Device I/O error\""),
        std::string::npos)
        << run.output;
    EXPECT_EQ(Files(), std::set<std::string>{"Shop.mdb"});
}

// A caller that gives no path hands in its dialog, which the operation sets up and shows.
TEST_F(CompactRepair, TheCallersDialogIsSetUpAndItsChoiceCompacted) {
    struct Shown : DialogObject {  // the terminal's dialog, every property set or read printed
        std::shared_ptr<DialogObject> real = Posix::CreateTerminalDialogObject();
        void SetProperty(const std::string& name, PropertyValue value) override {
            std::cout << name << "=";
            std::visit([](const auto& v) { std::cout << v << ";"; }, value);
            real->SetProperty(name, std::move(value));
        }
        PropertyValue GetProperty(const std::string& name) override {
            std::cout << name << "?;";
            return real->GetProperty(name);
        }
    };
    WriteFile(data / "Empty.mdb", "");
    const auto setUp = [&](const std::string& folder) {
        return "Filter=Databases|*.MDB;FilterIndex=1;DialogTitle=Select Database to Compact;"
               "Flags=4100;CancelError=-1;InitDir=" +
               folder + "\\;Filename=*.MDB;Action=1;\n== Select Database to Compact ==\n";
    };
    Outcome run = Compact("", 0, {}, "Shop.mdb\ny\n\n", std::make_shared<Shown>(), data);
    EXPECT_EQ(run.Status(), 0) << run.output;
    EXPECT_TRUE(run.output.starts_with(setUp(data))) << run.output;
    EXPECT_NE(run.output.find("Filename?;Filename?;\n== Compact/Repair Database [Question] ==\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("compacting/repairing:\n\n\t" + db.string() + "\n"),
              std::string::npos);
    EXPECT_EQ(ReadFile(backup), old);

    // Cancelled, or a file that cannot be a database: nothing is asked or done.
    for (const std::string& input : {std::string("\n"), (data / "Empty.mdb").string() + "\n"}) {
        run = Compact("", 0, {}, input, std::make_shared<Shown>());
        EXPECT_EQ(run.Status(), 1);
        EXPECT_TRUE(run.output.starts_with(setUp(""))) << run.output;
        EXPECT_EQ(run.output.find("Yes / No"), std::string::npos) << run.output;
    }
    EXPECT_EQ(Compact("").Status(), 1) << "no path and no dialog";
    EXPECT_EQ(Files(), (std::set<std::string>{"Empty.mdb", "Shop.mdb", "Shop-0001.BAK"}));
}

}  // namespace
