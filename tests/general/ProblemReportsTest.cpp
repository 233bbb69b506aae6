#include <gtest/gtest.h>

#include "doubles/Doubles.h"
#include "general/qnGeneral.h"

using qnGeneral::ReportError;
using qnGeneral::ShowProblem;

namespace {

class ProblemReports : public ::testing::Test {
  protected:
    Doubles::World world;
    const qnGeneral::Truth shown = 0;
};

TEST_F(ProblemReports, NumberZeroGivesTheShortMessageWithoutConsultingTheCurrentError) {
    Err::Current().Number = 0;
    Err::Current().Description = "ignored";
    EXPECT_EQ(ReportError("  Compacting/Repairing the database: c:\\a.mdb  ", 0, shown),
              "There was a problem Compacting/Repairing the database: c:\\a.mdb");
}

TEST_F(ProblemReports, StandardTextIsQuotedAfterTwoLineFeeds) {
    const std::string message =
        ReportError("Compacting/Repairing the database: c:\\a.mdb", 53, shown);
    EXPECT_EQ(message,
              "There was a problem Compacting/Repairing the database: c:\\a.mdb and the error's "
              "description was reported as : \n\n\"File not found\"");
    ASSERT_EQ(world.messageBox->shown.size(), 1u);
    EXPECT_EQ(world.messageBox->shown[0].prompt, message);
    EXPECT_EQ(world.messageBox->shown[0].flags, 48);
    EXPECT_EQ(world.messageBox->shown[0].title, "Tolvane");
    EXPECT_EQ(world.LogText(), "09:05:07 " + message + "\r\n");
}

TEST_F(ProblemReports, NumberWithoutStandardTextUsesTheCurrentErrorsDescription) {
    Err::Current().Number = 3343;
    Err::Current().Description = "Unrecognized database format 'c:\\a.mdb'.";
    EXPECT_EQ(ReportError("x", 3343, shown),
              "There was a problem x and the error's description was reported as : \n\n"
              "\"Unrecognized database format 'c:\\a.mdb'. (3343)\"");
    Err::Current().Number = -2147467259;
    Err::Current().Description = "Unspecified";
    EXPECT_EQ(ReportError("x", -2147467259, shown),
              "There was a problem x and the error's description was reported as : \n\n"
              "\"Unspecified (-2147467259)\"");
}

TEST_F(ProblemReports, NumberWithoutStandardTextAndAnotherCurrentErrorGivesTheShortMessage) {
    Err::Current().Number = 3024;
    Err::Current().Description = "Could not find file.";
    EXPECT_EQ(ReportError("x", 3343, shown), "There was a problem x");
}

TEST_F(ProblemReports, OnlySpacesAreTrimmedAndBlankPartsGiveTheShortMessage) {
    EXPECT_EQ(ShowProblem("", "", 0), "There was a problem ");
    EXPECT_EQ(ShowProblem(" ctx ", "    ", 0), "There was a problem ctx");
    EXPECT_EQ(
        ShowProblem("\tctx\n", " d ", 0),
        "There was a problem \tctx\n and the error's description was reported as : \n\n\"d\"");
}

TEST_F(ProblemReports, SilentModeLogsAndReturnsWithoutABox) {
    const qnGeneral::Truth silent = 1;
    const std::string message = ReportError("ctx", 70, silent);
    EXPECT_TRUE(world.messageBox->shown.empty());
    EXPECT_EQ(world.LogText(), "09:05:07 " + message + "\r\n");
}

TEST_F(ProblemReports, PointerIsDefaultDuringTheBoxAndTheBoxComesBeforeTheLogLine) {
    world.pointer->shape = 11;
    bool checked = false;
    world.messageBox->onShow = [&](const Doubles::Box&) {
        EXPECT_EQ(world.pointer->shape, 0);
        EXPECT_EQ(world.LogText(), "");
        checked = true;
    };
    ShowProblem("ctx", "", 0);
    EXPECT_TRUE(checked);
    EXPECT_EQ(world.pointer->shape, 11);
}

TEST_F(ProblemReports, AFailingBoxEndsTheReportWithThePointerAtDefault) {
    world.pointer->shape = 11;
    world.messageBox->fails = true;
    EXPECT_THROW(ShowProblem("ctx", "", 0), Err::Error);
    EXPECT_EQ(world.pointer->shape, 0);
    EXPECT_EQ(world.LogText(), "");
}

}  // namespace
