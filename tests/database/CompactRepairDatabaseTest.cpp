#include <gtest/gtest.h>

#include <algorithm>

#include "database/DAO_DatabaseFunctions.h"
#include "doubles/Doubles.h"

using DAO_DatabaseFunctions::CompactRepairDatabase;
using Doubles::MemoryDisk;

namespace {

const std::string kDb = "D:\\data\\Shop.mdb";
const std::string kOld = "old database bytes";
const std::string kSuccess =
    "Your Database has been successfully Compacted/Repaired and the old version saved in a new "
    "file with a '.BAK' extension";

class CompactRepair : public ::testing::Test {
  protected:
    CompactRepair() { world.disk.files[kDb] = kOld; }

    qnGeneral::Truth Run(const std::string& path = kDb, qnGeneral::Truth silent = 0) {
        return CompactRepairDatabase(path, noDialog, "", silent);
    }
    // Names of files that are neither the database, its backups nor the log.
    std::vector<std::string> Strays() const {
        std::vector<std::string> strays;
        for (const auto& [name, bytes] : world.disk.files) {
            if (name != kDb && name.find(".BAK") == std::string::npos &&
                name.find(".log") == std::string::npos) {
                strays.push_back(name);
            }
        }
        return strays;
    }
    std::vector<std::string> Prompts() const {
        std::vector<std::string> prompts;
        for (const auto& box : world.messageBox->shown) prompts.push_back(box.prompt);
        return prompts;
    }

    Doubles::World world;
    std::shared_ptr<Components::DialogObject> noDialog;
};

TEST_F(CompactRepair, SuccessKeepsTheOldBytesInTheFirstBackupAndTheCopyUnderTheName) {
    EXPECT_EQ(Run(), qnGeneral::True);
    EXPECT_EQ(world.disk.files[kDb], MemoryDisk::Compacted(kOld));
    EXPECT_EQ(world.disk.files["D:\\data\\Shop-0001.BAK"], kOld);
    EXPECT_TRUE(Strays().empty());

    ASSERT_EQ(world.engine->calls.size(), 1u);
    EXPECT_EQ(world.engine->calls[0], std::make_pair(kDb, std::string("D:\\data\\TOL1.MDB")));
    EXPECT_EQ(world.pointer->history, (std::vector<std::int32_t>{11, 0}));

    ASSERT_EQ(world.messageBox->shown.size(), 2u);
    const auto& confirm = world.messageBox->shown[0];
    EXPECT_EQ(confirm.prompt,
              "Warning : The database must be closed on all computers before you can "
              "Compact/Repair it!\nYou should ensure that you have a backup of the database "
              "before proceeding\n\nAre you sure you want to continue compacting/repairing:\n\n\t" +
                  kDb);
    EXPECT_EQ(confirm.flags, 292);
    EXPECT_EQ(confirm.title, "Compact/Repair Database");
    const auto& success = world.messageBox->shown[1];
    EXPECT_EQ(success.prompt, kSuccess);
    EXPECT_EQ(success.flags, 64);
    EXPECT_EQ(success.title, "Tolvane");
}

TEST_F(CompactRepair, ACopyTheEngineCouldNotProveIsSaidSoInTheLog) {
    world.engine->note = "The database was copied without a check of its structure.";
    EXPECT_EQ(Run(), qnGeneral::True);
    std::string log;
    for (const auto& [name, bytes] : world.disk.files) {
        if (name.ends_with(".log")) log += bytes;
    }
    EXPECT_NE(log.find(world.engine->note), std::string::npos) << log;
}

TEST_F(CompactRepair, NoAtTheConfirmationTouchesNothing) {
    world.messageBox->answers = {Components::kIdNo};
    EXPECT_EQ(Run(), qnGeneral::False);
    EXPECT_EQ(world.disk.files, (std::map<std::string, std::string>{{kDb, kOld}}));
    EXPECT_TRUE(world.tempNames->folders.empty());
    EXPECT_TRUE(world.engine->calls.empty());
}

TEST_F(CompactRepair, SilentModeShowsNoBoxEvenOnFailure) {
    EXPECT_EQ(Run(kDb, 1), qnGeneral::True);
    EXPECT_TRUE(world.messageBox->shown.empty());

    world.disk.engineError = {{3356, "The database is opened by another user."}};
    EXPECT_EQ(Run("D:\\data\\Shop.mdb", 5), qnGeneral::False);
    EXPECT_TRUE(world.messageBox->shown.empty());
    EXPECT_NE(world.LogText().find("There was a problem Compacting/Repairing the database: "),
              std::string::npos);
}

TEST_F(CompactRepair, BackupSearchTakesTheFirstFreeNumber) {
    struct Case {
        std::vector<std::string> present;
        std::string expected;
    } cases[] = {
        {{}, "D:\\data\\Shop-0001.BAK"},
        {{"D:\\data\\Shop-0001.BAK", "D:\\data\\Shop-0002.BAK"}, "D:\\data\\Shop-0003.BAK"},
        {{"D:\\data\\Shop-0002.BAK"}, "D:\\data\\Shop-0001.BAK"},
    };
    for (const auto& c : cases) {
        Doubles::World fresh;
        fresh.disk.files[kDb] = kOld;
        for (const auto& name : c.present) fresh.disk.files[name] = "";  // empty counts as taken
        std::shared_ptr<Components::DialogObject> none;
        EXPECT_EQ(CompactRepairDatabase(kDb, none, "", 0), qnGeneral::True);
        EXPECT_EQ(fresh.disk.files[c.expected], kOld) << c.expected;
        for (const auto& name : c.present) EXPECT_EQ(fresh.disk.files[name], "") << name;
    }
}

TEST_F(CompactRepair, BackupNumbersGrowPastFourDigits) {
    EXPECT_EQ(DAO_DatabaseFunctions::BackupName("a", 1), "a-0001.BAK");
    EXPECT_EQ(DAO_DatabaseFunctions::BackupName("a", 42), "a-0042.BAK");
    for (int n = 1; n <= 9999; ++n) {
        world.disk.files[DAO_DatabaseFunctions::BackupName("D:\\data\\Shop", n)] = "b";
    }
    EXPECT_EQ(Run(), qnGeneral::True);
    EXPECT_EQ(world.disk.files["D:\\data\\Shop-10000.BAK"], kOld);
}

TEST_F(CompactRepair, FailedCompactionIsReportedOnceAndChangesNothing) {
    world.disk.engineError = {{3343, "Unrecognized database format 'D:\\data\\Shop.mdb'."}};
    const std::string spaced = "  " + kDb + " ";
    world.disk.files[spaced] = kOld;
    EXPECT_EQ(Run(spaced), qnGeneral::False);
    ASSERT_EQ(world.messageBox->shown.size(), 2u);
    EXPECT_EQ(world.messageBox->shown[0].prompt.substr(world.messageBox->shown[0].prompt.size() -
                                                       spaced.size() - 1),
              "\t" + spaced);
    const std::string report =
        "There was a problem Compacting/Repairing the database: D:\\data\\Shop.mdb and the "
        "error's description was reported as : \n\n\"Unrecognized database format "
        "'D:\\data\\Shop.mdb'. (3343)\"";
    EXPECT_EQ(world.messageBox->shown[1].prompt, report);
    EXPECT_EQ(world.messageBox->shown[1].flags, 48);
    EXPECT_EQ(world.pointer->shape, 0);
    EXPECT_EQ(world.disk.files[spaced], kOld);
    for (const auto& [name, bytes] : world.disk.files) {
        EXPECT_EQ(name.find(".BAK"), std::string::npos) << name;
    }
}

TEST_F(CompactRepair, FolderThatCannotBeToldIsReportedAndChangesNothing) {
    world.disk.alwaysFail = {"FolderOf"};
    EXPECT_EQ(Run(), qnGeneral::False);
    EXPECT_EQ(world.disk.files.size(), 2u) << "the database and the log only";
    EXPECT_EQ(world.disk.files[kDb], kOld);
    EXPECT_EQ(world.messageBox->shown.back().prompt,
              "There was a problem finding a temporary name beside the database: "
              "D:\\data\\Shop.mdb; the database has not been changed and the error's "
              "description was reported as : \n\n\"Device I/O error\"");
    EXPECT_EQ(world.pointer->shape, 0);
}

TEST_F(CompactRepair, LowerCaseExtensionStillGivesAnUpperCaseBackup) {
    EXPECT_EQ(Run(), qnGeneral::True);
    EXPECT_TRUE(world.disk.Exists("D:\\data\\Shop-0001.BAK"));
}

// What the rename steps do when the file system refuses them.
TEST_F(CompactRepair, FirstRenameRefusedLeavesTheDatabaseAndRemovesTheCopy) {
    world.disk.alwaysFail = {"Rename"};
    EXPECT_EQ(Run(), qnGeneral::False);
    EXPECT_EQ(world.disk.files[kDb], kOld);
    EXPECT_TRUE(Strays().empty());
    ASSERT_EQ(world.messageBox->shown.size(), 2u);
    EXPECT_EQ(world.messageBox->shown[1].prompt,
              "There was a problem renaming the database: D:\\data\\Shop.mdb to its backup name "
              "D:\\data\\Shop-0001.BAK; the database has not been changed and the error's "
              "description was reported as : \n\n\"Device I/O error\"");
}

// Refuses the renames with the given numbers, counting from 1.
class RenameRefuser : public Doubles::DiskFileSystem {
  public:
    RenameRefuser(MemoryDisk& disk, std::vector<int> refused)
        : DiskFileSystem(disk), refused_(std::move(refused)) {}
    void Rename(std::string from, std::string to) override {
        ++renames_;
        if (std::find(refused_.begin(), refused_.end(), renames_) != refused_.end()) {
            Err::Raise(70, "Rename: refused");
        }
        DiskFileSystem::Rename(from, to);
    }

  private:
    std::vector<int> refused_;
    int renames_ = 0;
};

TEST_F(CompactRepair, SecondRenameRefusedPutsTheDatabaseBack) {
    Components::Instance<Components::FileSystem>::Install(
        std::make_unique<RenameRefuser>(world.disk, std::vector<int>{2}));
    EXPECT_EQ(Run(), qnGeneral::False);
    EXPECT_EQ(world.disk.files[kDb], kOld);
    EXPECT_FALSE(world.disk.Exists("D:\\data\\Shop-0001.BAK"));
    EXPECT_TRUE(Strays().empty());
    EXPECT_EQ(world.messageBox->shown.back().prompt,
              "There was a problem giving the compacted copy the database's name: "
              "D:\\data\\Shop.mdb; the database has been left as it was and the error's "
              "description was reported as : \n\n\"Permission denied\"");
}

TEST_F(CompactRepair, WhenEvenTheWayBackFailsTheReportNamesBothFiles) {
    Components::Instance<Components::FileSystem>::Install(
        std::make_unique<RenameRefuser>(world.disk, std::vector<int>{2, 3}));
    EXPECT_EQ(Run(), qnGeneral::False);
    EXPECT_EQ(world.disk.files["D:\\data\\Shop-0001.BAK"], kOld);
    EXPECT_EQ(world.disk.files["D:\\data\\TOL1.MDB"], MemoryDisk::Compacted(kOld));
    EXPECT_NE(world.messageBox->shown.back().prompt.find(
                  "the old database is now D:\\data\\Shop-0001.BAK and the compacted copy is "
                  "D:\\data\\TOL1.MDB"),
              std::string::npos);
}

TEST_F(CompactRepair, BackupSearchThatNeverFindsANameEnds) {
    world.disk.alwaysFail = {"PathWithoutExtension"};
    EXPECT_EQ(Run(), qnGeneral::False);
    EXPECT_EQ(world.disk.files[kDb], kOld);
    EXPECT_TRUE(Strays().empty());
    EXPECT_EQ(world.messageBox->shown.back().prompt,
              "There was a problem finding a free backup name for the database: "
              "D:\\data\\Shop.mdb, every name up to -32767.BAK is taken or cannot be checked; "
              "the database has not been changed");
}

// The dialog road, taken when no path is given.
class CompactRepairWithDialog : public CompactRepair {
  protected:
    CompactRepairWithDialog() {
        dialog = std::make_shared<Doubles::FakeDialogObject>();
        control = dialog;
    }
    qnGeneral::Truth RunDialog(const std::string& initialFolder = "D:\\data") {
        return CompactRepairDatabase("", control, initialFolder, 0);
    }
    std::shared_ptr<Doubles::FakeDialogObject> dialog;
    std::shared_ptr<Components::DialogObject> control;
};

TEST_F(CompactRepairWithDialog, NoDialogObjectMeansFalseAndNothingAsked) {
    EXPECT_EQ(Run(""), qnGeneral::False);
    EXPECT_TRUE(world.messageBox->shown.empty());
    EXPECT_EQ(world.disk.operations, 0);
}

TEST_F(CompactRepairWithDialog, PropertiesAreSetInOrderAndTheChoiceIsCompacted) {
    dialog->choice = kDb;
    EXPECT_EQ(RunDialog("D:\\data\\"), qnGeneral::True);
    using V = Components::PropertyValue;
    const std::vector<std::pair<std::string, V>> expected = {
        {"Filter", V(std::string("Databases|*.MDB"))},
        {"FilterIndex", V(std::int16_t{1})},
        {"DialogTitle", V(std::string("Select Database to Compact"))},
        {"Flags", V(std::int16_t{4100})},
        {"CancelError", V(std::int16_t{-1})},
        {"InitDir", V(std::string("D:\\data\\\\"))},
        {"Filename", V(std::string("*.MDB"))},
        {"Action", V(std::int16_t{1})},
    };
    EXPECT_EQ(dialog->sets, expected);
    EXPECT_EQ(world.disk.files["D:\\data\\Shop-0001.BAK"], kOld);
}

TEST_F(CompactRepairWithDialog, EmptyInitialFolderGivesALoneBackslash) {
    dialog->choice = std::nullopt;
    RunDialog("");
    EXPECT_EQ(std::get<std::string>(dialog->properties["InitDir"]), "\\");
}

TEST_F(CompactRepairWithDialog, CancelOrAnUnusableChoiceEndsQuietly) {
    dialog->choice = std::nullopt;  // cancelled, though "Filename" still names a database
    dialog->properties["Filename"] = kDb;
    EXPECT_EQ(RunDialog(), qnGeneral::False);
    world.disk.files["D:\\data\\Empty.mdb"] = "";
    dialog->choice = "D:\\data\\Empty.mdb";
    EXPECT_EQ(RunDialog(), qnGeneral::False);
    EXPECT_TRUE(world.messageBox->shown.empty());
    EXPECT_EQ(world.disk.files[kDb], kOld);
}

TEST_F(CompactRepairWithDialog, OtherDialogErrorsAreJudgedByTheFileAlone) {
    dialog->actionError = 5;
    dialog->choice = kDb;
    EXPECT_EQ(RunDialog(), qnGeneral::True);
}

// Every single operation failing in turn, then a crash at every operation: the old bytes
// always survive under the database's name or a backup name, and a run that says it
// succeeded really did.
class CompactRepairUnderFaults : public ::testing::TestWithParam<bool> {};

TEST_P(CompactRepairUnderFaults, NoOperationLosesTheDatabase) {
    const bool crash = GetParam();
    int untouched = 0;
    for (int n = 1; n < 200 && untouched == 0; ++n) {
        Doubles::World world;
        world.disk.files[kDb] = kOld;
        (crash ? world.disk.crashAt : world.disk.failAt) = n;
        std::shared_ptr<Components::DialogObject> none;
        qnGeneral::Truth result = qnGeneral::False;
        bool escaped = false;
        try {
            result = CompactRepairDatabase(kDb, none, "", 0);
        } catch (const Err::Error&) {
            escaped = true;
        }
        if (world.disk.operations < n) ++untouched;

        const auto& files = world.disk.files;
        int copiesOfOld = 0;
        for (const auto& [name, bytes] : files) {
            if (bytes == kOld && (name == kDb || name.find("D:\\data\\Shop-") == 0)) ++copiesOfOld;
        }
        EXPECT_EQ(copiesOfOld, 1) << "operation " << n;
        if (result) {
            EXPECT_FALSE(crash && world.disk.crashed) << n;
            EXPECT_EQ(files.at(kDb), MemoryDisk::Compacted(kOld)) << n;
            EXPECT_EQ(world.messageBox->shown.back().prompt, kSuccess) << n;
        } else if (escaped) {
            EXPECT_EQ(files.at(kDb), kOld) << "an escaping error leaves the file as it was, " << n;
        } else if (!crash) {
            const std::string said = world.messageBox->shown.back().prompt;
            EXPECT_EQ(said.find("There was a problem "), 0u) << n;
            for (const auto& [name, bytes] : files) {
                if (name.size() > 4 && name.substr(name.size() - 4) == ".MDB") {
                    EXPECT_NE(said.find(name), std::string::npos)
                        << "a copy left behind is named in the report, " << n;
                }
            }
        }
    }
    EXPECT_EQ(untouched, 1) << "the walk reached a run that no fault touched";
}

INSTANTIATE_TEST_SUITE_P(FailuresAndCrashes, CompactRepairUnderFaults, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Crash" : "Failure"; });

}  // namespace
