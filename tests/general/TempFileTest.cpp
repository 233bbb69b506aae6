#include <gtest/gtest.h>

#include "doubles/Doubles.h"
#include "general/qnGeneral.h"

using qnGeneral::GetTempFile;

namespace {

class TempFile : public ::testing::Test {
  protected:
    Doubles::World world;
    const std::string folder = "D:\\data\\";
};

const std::vector<std::string> kOnePass = {
    " Start GetTempFile",        "     Assign a string",    "     AlphaNum the app.title",
    "     Call GetTempFilename", "     Process the return",
};

TEST_F(TempFile, NewExtensionReplacesTheServicesAndItsFileIsGone) {
    EXPECT_EQ(GetTempFile(folder, "MDB"), "D:\\data\\TOL1.MDB");
    EXPECT_FALSE(world.disk.Exists("D:\\data\\TOL1.TMP"));
    EXPECT_FALSE(world.disk.Exists("D:\\data\\TOL1.MDB"));
    auto expected = kOnePass;
    expected.push_back(" End GetTempFile");
    EXPECT_EQ(world.LogMessages(), expected);
    EXPECT_EQ(qnGeneral::LogIndent, 0);
}

TEST_F(TempFile, ServicesOwnExtensionKeepsItsName) {
    for (const char* extension : {"", "TMP", "tmp", "tMp"}) {
        const std::string name = GetTempFile(folder, extension);
        EXPECT_EQ(name.substr(name.size() - 4), ".TMP") << extension;
        EXPECT_TRUE(world.disk.Exists(name)) << "the service's file stays for " << extension;
    }
}

TEST_F(TempFile, ExtensionLengthIsWhateverWasAsked) {
    EXPECT_EQ(GetTempFile(folder, "ACCD"), "D:\\data\\TOL1.ACCD");
    EXPECT_EQ(GetTempFile(folder, "b"), "D:\\data\\TOL2.b");
}

TEST_F(TempFile, NameWithContentStartsANewPassButAnEmptyFileIsAccepted) {
    world.disk.files["D:\\data\\TOL1.MDB"] = "someone's data";
    world.disk.files["D:\\data\\TOL2.MDB"] = "";
    EXPECT_EQ(GetTempFile(folder, "MDB"), "D:\\data\\TOL2.MDB");
    EXPECT_EQ(world.disk.files["D:\\data\\TOL1.MDB"], "someone's data");
    auto expected = kOnePass;
    expected.insert(expected.end(), kOnePass.begin() + 1, kOnePass.end());
    expected.push_back(" End GetTempFile");
    EXPECT_EQ(world.LogMessages(), expected);
}

TEST_F(TempFile, EmptyFolderMeansTheTempFolderAskedOnlyOnce) {
    world.disk.files["C:\\Users\\me\\Temp\\TOL1.MDB"] = "taken";
    EXPECT_EQ(GetTempFile("", "MDB"), "C:\\Users\\me\\Temp\\TOL2.MDB");
    const auto lines = world.LogMessages();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "     Get the user's temp path"), 1);
    EXPECT_EQ(world.tempNames->folders,
              (std::vector<std::string>{"C:\\Users\\me\\Temp\\", "C:\\Users\\me\\Temp\\"}));
}

TEST_F(TempFile, PrefixIsTheUpperCaseTitleWithoutSpaces) {
    for (auto [title, prefix] : std::vector<std::pair<std::string, std::string>>{
             {"my app", "MYAPP"}, {"a  b\tc ", "AB\tC"}, {"", ""}}) {
        world.application->title = title;
        GetTempFile(folder, "MDB");
        EXPECT_EQ(world.tempNames->prefixes.back(), prefix);
    }
    EXPECT_EQ(world.tempNames->folders.back(), folder) << "the folder is passed unchanged";
}

TEST_F(TempFile, TempFolderFailureShowsTheSignedSystemCodeAndMakesNoName) {
    for (auto [code, shown] : {std::pair{5LL, "5"}, std::pair{0x80070005LL, "-2147024891"}}) {
        world.disk.tempPathError = code;
        EXPECT_EQ(GetTempFile("", "MDB"), "");
        ASSERT_FALSE(world.messageBox->shown.empty());
        EXPECT_EQ(world.messageBox->shown.back().prompt,
                  std::string("Error getting a temporary file name :") + shown);
        EXPECT_EQ(world.messageBox->shown.back().flags, 16);
        EXPECT_EQ(world.messageBox->shown.back().title, "Tolvane");
    }
    EXPECT_TRUE(world.tempNames->folders.empty());
    EXPECT_EQ(qnGeneral::LogIndent, 0) << "the block is closed on this way out too";
}

TEST_F(TempFile, ServiceFailures) {
    world.tempNames->failWith = 0;  // buffer left as spaces
    EXPECT_EQ(GetTempFile(folder, "MDB"), "");
    EXPECT_EQ(world.LogMessages().back(),
              " Exit NewGetTempFile (GetTempFilename returned a non-Null terminated string)");

    world.tempNames->terminateOnFailure = true;
    EXPECT_EQ(GetTempFile(folder, "MDB"), "");
    EXPECT_EQ(world.LogMessages().back(), " End GetTempFile");

    world.tempNames->failWith = 0x80000000u;  // a negative result is a failure as well
    EXPECT_EQ(GetTempFile(folder, "MDB"), "");
    EXPECT_EQ(qnGeneral::LogIndent, 0);
}

TEST_F(TempFile, FailedDeletionOfTheServicesFileIsDropped) {
    world.disk.alwaysFail = {"Kill"};
    EXPECT_EQ(GetTempFile(folder, "MDB"), "D:\\data\\TOL1.MDB");
}

TEST_F(TempFile, FileToolsFailurePassesToTheCallerWithTheBlockClosed) {
    world.disk.alwaysFail = {"FileSize"};
    EXPECT_THROW(GetTempFile(folder, "MDB"), Err::Error);
    EXPECT_EQ(world.LogMessages().back(), " End GetTempFile");
    EXPECT_EQ(qnGeneral::LogIndent, 0);
}

}  // namespace
