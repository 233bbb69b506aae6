// The message box, the mouse pointer and the two file dialogs on a terminal.
#include <fcntl.h>
#include <unistd.h>

#include "PosixTestSupport.h"
#include "components/FileDialogs.h"
#include "components/UserInterface.h"
#include "components/posix/TerminalDialogObject.h"
#include "components/posix/TerminalUi.h"

namespace {

using namespace PosixTest;
using namespace Components;

constexpr std::int32_t kQuestionNoDefault = kMbYesNo | kMbIconQuestion | kMbDefButton2;  // 292

std::int32_t Answer(const std::string& input, std::int32_t flags, std::string* output = nullptr,
                    std::string* unread = nullptr) {
    Terminal terminal(input);
    Posix::TerminalMessageBox box;
    const std::int32_t answer = box.Show("Proceed?", flags, "Title");
    if (output) *output = terminal.Output();
    if (unread) *unread = terminal.Unread();
    return answer;
}

TEST(PosixMessageBox, ShowsTitleIconWordPromptAndButtons) {
    Terminal terminal("\n");
    Posix::TerminalMessageBox box;
    const std::string prompt =
        "Are you sure you want to Compact/Repair this database?\n\n/data/Shop.mdb";
    EXPECT_EQ(box.Show(prompt, kQuestionNoDefault, "Tolvane"), kIdNo);
    const std::string out = terminal.Output();
    EXPECT_NE(out.find("Tolvane"), std::string::npos) << out;
    EXPECT_NE(out.find("Question"), std::string::npos) << out;
    EXPECT_NE(out.find(prompt), std::string::npos) << "line feeds as they are: " << out;
    EXPECT_NE(out.find("Yes"), std::string::npos) << out;
    EXPECT_NE(out.find("No"), std::string::npos) << out;
    EXPECT_LT(out.find("Tolvane"), out.find(prompt));
    EXPECT_LT(out.find(prompt), out.rfind("Yes"));
}

TEST(PosixMessageBox, IconWords) {
    EXPECT_EQ(Posix::IconWord(48), "Warning");
    EXPECT_EQ(Posix::IconWord(292), "Question");
    EXPECT_EQ(Posix::IconWord(64), "Information");
    EXPECT_EQ(Posix::IconWord(16), "Error");
    EXPECT_EQ(Posix::IconWord(0), "");
}

TEST(PosixMessageBox, YesNoAnswers) {
    for (const char* yes : {"y\n", "YES\n", "  yes  \n", "y\r\n"}) {
        EXPECT_EQ(Answer(yes, kQuestionNoDefault), kIdYes) << yes;
    }
    for (const char* no : {"n\n", "nO\n", " n\t\n"}) {
        EXPECT_EQ(Answer(no, kMbYesNo | kMbIconQuestion), kIdNo) << no;
    }
}

TEST(PosixMessageBox, EnterTakesTheDefaultButton) {
    EXPECT_EQ(Answer("\n", kQuestionNoDefault), kIdNo) << "256: the second button, No";
    EXPECT_EQ(Answer("\n", kMbYesNo | kMbIconQuestion), kIdYes) << "the first button, Yes";
    EXPECT_EQ(Answer("   \n", kQuestionNoDefault), kIdNo) << "only blanks";
}

TEST(PosixMessageBox, EndOfInputIsNo) {
    EXPECT_EQ(Answer("", kQuestionNoDefault), kIdNo);
    EXPECT_EQ(Answer("", kMbYesNo | kMbIconQuestion), kIdNo) << "also when Yes is the default";
    EXPECT_EQ(Answer("maybe\n", kMbYesNo), kIdNo) << "garbage, then the end";
}

TEST(PosixMessageBox, AnythingElseAsksAgain) {
    std::string out, unread;
    EXPECT_EQ(Answer("maybe\nyess\n0\nyes\nnext\n", kQuestionNoDefault, &out, &unread), kIdYes);
    EXPECT_EQ(unread, "next\n") << "exactly one line per try, nothing more read";
    std::size_t asked = 0;
    for (std::size_t at = out.find("Yes / No"); at != std::string::npos;
         at = out.find("Yes / No", at + 1)) {
        ++asked;
    }
    EXPECT_EQ(asked, 4u) << out;
}

TEST(PosixMessageBox, OkBoxWaitsForOneLine) {
    std::string unread;
    EXPECT_EQ(Answer("\nnext\n", kMbIconExclamation, nullptr, &unread), kIdOk);
    EXPECT_EQ(unread, "next\n");
    EXPECT_EQ(Answer("whatever\n", kMbIconInformation, nullptr, &unread), kIdOk);
    EXPECT_EQ(unread, "");
    EXPECT_EQ(Answer("", kMbIconStop), kIdOk) << "end of input";
}

TEST(PosixMessageBox, OtherButtonSets) {
    EXPECT_EQ(Answer("cancel\n", 1), 2);
    EXPECT_EQ(Answer("", 3), 2) << "end of input cancels where Cancel is offered";
    EXPECT_EQ(Answer("\n", 3 | 512), 2) << "third button as default";
    EXPECT_EQ(Answer("r\n", 5), 4);
    EXPECT_EQ(Answer("c\ncontinue\n", 6), 11) << "'c' names two buttons there, so it asks again";
}

TEST(PosixMessageBox, AnUntitledBoxCarriesTheApplicationTitle) {
    Terminal terminal("\n");
    Posix::TerminalMessageBox box;
    box.Show("text", kMbIconInformation, "");
    EXPECT_NE(terminal.Output().find("Tolvane"), std::string::npos);
}

TEST(PosixMessageBox, RaisesWhenNothingCanBeShown) {
    Terminal terminal("\n");
    std::cout.setstate(std::ios::badbit);
    Posix::TerminalMessageBox box;
    const auto raised = Raised([&] { box.Show("text", kMbIconInformation, "Tolvane"); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Number(), 57);
}

// A pipe standing in for the terminal's standard error.
struct Pipe {
    Pipe() { EXPECT_EQ(::pipe2(fds, O_NONBLOCK), 0); }
    ~Pipe() {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    std::string Drain() {
        std::string text;
        char chunk[256];
        ssize_t n;
        while ((n = ::read(fds[0], chunk, sizeof chunk)) > 0) text.append(chunk, n);
        return text;
    }
    int fds[2] = {-1, -1};
};

TEST(PosixMousePointer, RecordsTheShape) {
    Pipe pipe;
    Posix::TerminalMousePointer pointer(pipe.fds[1], false);
    EXPECT_EQ(pointer.Get(), kPointerDefault);
    pointer.Set(kPointerBusy);
    EXPECT_EQ(pointer.Get(), kPointerBusy);
    pointer.Set(kPointerDefault);
    EXPECT_EQ(pointer.Get(), kPointerDefault);
    EXPECT_EQ(pipe.Drain(), "") << "off a terminal nothing is written";
}

TEST(PosixMousePointer, OnATerminalBusyShowsWorkingAndDefaultClearsIt) {
    Pipe pipe;
    Posix::TerminalMousePointer pointer(pipe.fds[1], true);
    pointer.Set(kPointerDefault);
    EXPECT_EQ(pipe.Drain(), "") << "default after default: nothing to clear";
    pointer.Set(kPointerBusy);
    EXPECT_EQ(pipe.Drain(), "Working...");
    pointer.Set(kPointerBusy);
    EXPECT_EQ(pipe.Drain(), "") << "still busy: said once";
    pointer.Set(kPointerDefault);
    EXPECT_EQ(pipe.Drain(), "\r\033[K");
    EXPECT_EQ(pointer.Get(), kPointerDefault);
}

// --- the file-open dialog -----------------------------------------------------------------

std::string Select(const std::string& input, std::string* output = nullptr) {
    Terminal terminal(input);
    auto dialog = CreatePlatformInstance(Tag<OpenFileDialog>{});
    std::string fileTitle, defaultExtension = "MDB", result = "not touched";
    std::int32_t flags = kOfnFileMustExist | kOfnHideReadOnly;
    using namespace std::string_literals;
    dialog->SelectFile(0, fileTitle, "", "Database Files (*.MDB)\0*.MDB\0"s, "", defaultExtension,
                       flags, "Select the Database File to Compact/Repair", 0, result);
    if (output) *output = terminal.Output();
    return result;
}

TEST(PosixOpenFileDialog, ShowsItsTitleAndReadsAFullPath) {
    std::string out;
    EXPECT_EQ(Select("/data/Shop.mdb\n", &out), "/data/Shop.mdb");
    EXPECT_NE(out.find("Select the Database File to Compact/Repair"), std::string::npos) << out;
}

TEST(PosixOpenFileDialog, EmptyLineOrEndOfInputCancels) {
    EXPECT_EQ(Select("\n"), "");
    EXPECT_EQ(Select(""), "");
}

TEST(PosixOpenFileDialog, KeepsSpacesButMakesThePathFull) {
    EXPECT_EQ(Select("/data/ Shop .mdb  \n"), "/data/ Shop .mdb  ")
        << "spaces are part of the name";
    EXPECT_EQ(Select("/data/Shop.mdb\r\n"), "/data/Shop.mdb") << "a CR LF line";
    char* cwd = ::getcwd(nullptr, 0);
    ASSERT_NE(cwd, nullptr);
    EXPECT_EQ(Select("Shop.mdb\n"), std::string(cwd) + "/Shop.mdb") << "relative to the folder";
    std::free(cwd);
    EnvironmentVariable home("HOME", "/home/someone");
    EXPECT_EQ(Select("~/Shop.mdb\n"), "/home/someone/Shop.mdb");
}

// As the Windows dialog dereferences a shortcut; the folders stay as typed.
TEST(PosixOpenFileDialog, FollowsSymbolicLinksToTheFileTheyLeadTo) {
    ScratchFolder scratch;
    fs::create_directories(scratch / "real");
    fs::create_directories(scratch / "links");
    WriteFile(scratch / "real/Shop.mdb", "x");
    fs::create_symlink("../real/Shop.mdb", scratch / "links/Relative.mdb");
    fs::create_symlink(scratch / "links/Relative.mdb", scratch / "links/Chain.mdb");
    fs::create_symlink("Loop.mdb", scratch / "links/Loop.mdb");
    const std::string links = scratch / "links/";
    EXPECT_EQ(Select(links + "Relative.mdb\n"), links + "../real/Shop.mdb");
    EXPECT_EQ(Select(links + "Chain.mdb\n"), links + "../real/Shop.mdb")
        << "absolute, then relative";
    EXPECT_EQ(Select(links + "Loop.mdb\n"), links + "Loop.mdb") << "a loop ends where it began";
}

// --- the dialog object ----------------------------------------------------------------------

void SetUpAsTheOperationDoes(DialogObject& dialog, const std::string& initDir = "\\") {
    dialog.SetProperty("Filter", std::string("Databases|*.MDB"));
    dialog.SetProperty("FilterIndex", std::int16_t{1});
    dialog.SetProperty("DialogTitle", std::string("Select Database to Compact"));
    dialog.SetProperty("Flags", std::int16_t{4100});
    dialog.SetProperty("CancelError", std::int16_t{-1});
    dialog.SetProperty("InitDir", initDir);
    dialog.SetProperty("Filename", std::string("*.MDB"));
}

TEST(PosixDialogObject, KeepsItsProperties) {
    auto dialog = Posix::CreateTerminalDialogObject();
    SetUpAsTheOperationDoes(*dialog, "/data\\");
    EXPECT_EQ(std::get<std::string>(dialog->GetProperty("Filter")), "Databases|*.MDB");
    EXPECT_EQ(std::get<std::int16_t>(dialog->GetProperty("FilterIndex")), 1);
    EXPECT_EQ(std::get<std::string>(dialog->GetProperty("DialogTitle")),
              "Select Database to Compact");
    EXPECT_EQ(std::get<std::int16_t>(dialog->GetProperty("Flags")), 4100);
    EXPECT_EQ(std::get<std::int16_t>(dialog->GetProperty("CancelError")), -1);
    EXPECT_EQ(std::get<std::string>(dialog->GetProperty("InitDir")), "/data\\");
    EXPECT_EQ(std::get<std::string>(dialog->GetProperty("filename")), "*.MDB") << "any case";
}

TEST(PosixDialogObject, ActionShowsTheTitleAndTakesAPathInTheInitialFolder) {
    auto dialog = Posix::CreateTerminalDialogObject();
    SetUpAsTheOperationDoes(*dialog, "/data/shop\\");
    Terminal terminal("Shop.mdb\n");
    dialog->SetProperty("Action", std::int16_t{1});
    EXPECT_EQ(std::get<std::string>(dialog->GetProperty("Filename")), "/data/shop/Shop.mdb");
    EXPECT_NE(terminal.Output().find("Select Database to Compact"), std::string::npos);
}

TEST(PosixDialogObject, CancelRaisesTheCancelErrorWhenAskedTo) {
    {
        auto dialog = Posix::CreateTerminalDialogObject();
        SetUpAsTheOperationDoes(*dialog);
        Terminal terminal("\n");
        const auto raised = Raised([&] { dialog->SetProperty("Action", std::int16_t{1}); });
        ASSERT_TRUE(raised);
        EXPECT_EQ(raised->Number(), 32755);
        EXPECT_EQ(raised->Description(), "Cancel was selected.");
        EXPECT_EQ(std::get<std::string>(dialog->GetProperty("Filename")), "*.MDB");
    }
    auto quiet = Posix::CreateTerminalDialogObject();
    SetUpAsTheOperationDoes(*quiet);
    quiet->SetProperty("CancelError", std::int16_t{0});
    Terminal terminal("\n");
    EXPECT_FALSE(Raised([&] { quiet->SetProperty("Action", std::int16_t{1}); }));
    EXPECT_EQ(std::get<std::string>(quiet->GetProperty("Filename")), "*.MDB");
}

TEST(PosixDialogObject, UnknownNamesAndWrongKindsRaise) {
    auto dialog = Posix::CreateTerminalDialogObject();
    auto raised = Raised([&] { dialog->SetProperty("Colour", std::string("red")); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Number(), 438);
    EXPECT_EQ(raised->Description(), "Object doesn't support this property or method");
    raised = Raised([&] { dialog->GetProperty("Colour"); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Number(), 438);
    raised = Raised([&] { dialog->SetProperty("Filter", std::int16_t{1}); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Number(), 13);
    EXPECT_EQ(raised->Description(), "Type mismatch");
    raised = Raised([&] { dialog->SetProperty("Flags", std::string("4100")); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Number(), 13);
}

}  // namespace
