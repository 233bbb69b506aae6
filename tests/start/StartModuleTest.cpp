#include <gtest/gtest.h>

#include "doubles/Doubles.h"
#include "start/StartModule.h"

namespace {

using namespace std::string_literals;

const std::string kDb = "D:\\data\\Shop.mdb";
const std::string kWarning =
    "That is not a valid database file and cannot be compacted or repaired";

class Start : public ::testing::Test {
  protected:
    Start() {
        world.disk.files[kDb] = "old";
        world.openDialog->chosen = kDb;
    }
    Doubles::World world;
};

TEST_F(Start, DialogIsAskedWithTheFilterExtensionFlagsAndTitle) {
    world.messageBox->answers = {Components::kIdNo};
    StartModule::Main();
    ASSERT_EQ(world.openDialog->calls.size(), 1u);
    const auto& call = world.openDialog->calls[0];
    EXPECT_EQ(call.owner, 0);
    EXPECT_EQ(call.fileTitle, "");
    EXPECT_EQ(call.initialFile, "");
    EXPECT_EQ(call.filter, "Database Files (*.MDB)\0*.MDB\0All Files (*.*)\0*.*\0"s);
    EXPECT_EQ(call.initialFolder, "");
    EXPECT_EQ(call.defaultExtension, "MDB");
    EXPECT_EQ(call.flags, 4100);
    EXPECT_EQ(call.title, "Select the Database File to Compact/Repair");
    EXPECT_EQ(call.reserved, 0);
}

TEST_F(Start, MissingEmptyOrCancelledChoiceGetsTheWarningOnly) {
    world.disk.files["D:\\data\\Empty.mdb"] = "";
    for (const char* chosen : {"", "D:\\data\\Gone.mdb", "D:\\data\\Empty.mdb"}) {
        world.messageBox->shown.clear();
        world.openDialog->chosen = chosen;
        StartModule::Main();
        ASSERT_EQ(world.messageBox->shown.size(), 1u) << chosen;
        EXPECT_EQ(world.messageBox->shown[0].prompt, kWarning);
        EXPECT_EQ(world.messageBox->shown[0].flags, 48);
        EXPECT_EQ(world.messageBox->shown[0].title, "Tolvane");
    }
    EXPECT_TRUE(world.engine->calls.empty());
}

TEST_F(Start, ConfirmationShowsThePathAsChosenAndNoEndsTheRun) {
    const std::string spaced = " D:\\data\\Shop.mdb ";
    world.disk.files[spaced] = "old";
    world.openDialog->chosen = spaced;
    world.messageBox->answers = {Components::kIdNo};
    StartModule::Main();
    ASSERT_EQ(world.messageBox->shown.size(), 1u);
    EXPECT_EQ(world.messageBox->shown[0].prompt,
              "Are you sure you want to Compact/Repair this database?\n\n" + spaced);
    EXPECT_EQ(world.messageBox->shown[0].flags, 292);
    EXPECT_EQ(world.messageBox->shown[0].title, "Tolvane");
    EXPECT_EQ(world.disk.files.size(), 2u);
    EXPECT_TRUE(world.tempNames->folders.empty());
}

TEST_F(Start, YesLeadsToTheSecondConfirmationWhoseNoTouchesNothing) {
    world.messageBox->answers = {Components::kIdYes, Components::kIdNo};
    StartModule::Main();
    ASSERT_EQ(world.messageBox->shown.size(), 2u);
    EXPECT_EQ(world.messageBox->shown[1].title, "Compact/Repair Database");
    EXPECT_EQ(world.disk.files, (std::map<std::string, std::string>{{kDb, "old"}}));
}

TEST_F(Start, YesTwiceCompactsTheDatabase) {
    StartModule::Main();
    EXPECT_EQ(world.disk.files["D:\\data\\Shop-0001.BAK"], "old");
    EXPECT_EQ(world.disk.files[kDb], Doubles::MemoryDisk::Compacted("old"));
    EXPECT_EQ(world.messageBox->shown.size(), 3u);
}

TEST_F(Start, ErrorEscapingTheOperationEndsTheRunQuietly) {
    world.messageBox->onShow = [](const Doubles::Box& box) {
        if (box.title == "Compact/Repair Database") Err::Raise(5, "MessageBox: no display");
    };
    EXPECT_NO_THROW(StartModule::Main());
    EXPECT_EQ(world.messageBox->shown.size(), 2u);
    EXPECT_EQ(Err::Current().Number, 0);
    EXPECT_EQ(world.disk.files[kDb], "old");
}

TEST_F(Start, ErrorBeforeTheOperationIsNotCaught) {
    world.disk.alwaysFail = {"FileSize"};
    EXPECT_THROW(StartModule::Main(), Err::Error);
    world.disk.alwaysFail = {};
    world.messageBox->fails = true;
    EXPECT_THROW(StartModule::Main(), Err::Error);
    EXPECT_EQ(world.disk.files[kDb], "old");
}

}  // namespace
