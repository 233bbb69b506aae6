// The message box, the mouse pointer and the two file dialogs on a terminal: how each reads
// what is typed, which whole runs answer only with the few lines they script.
#include <fcntl.h>
#include <unistd.h>

#include <tuple>

#include "PosixTestSupport.h"
#include "components/FileDialogs.h"
#include "components/UserInterface.h"
#include "components/posix/TerminalDialogObject.h"
#include "components/posix/TerminalUi.h"

namespace {

using namespace PosixTest;
using namespace Components;

constexpr std::int32_t kQuestionNoDefault = kMbYesNo | kMbIconQuestion | kMbDefButton2;  // 292
constexpr std::int32_t kQuestion = kMbYesNo | kMbIconQuestion;

TEST(PosixMessageBox, AnUntitledBoxShowsTheApplicationIconPromptAndButtonsInOrder) {
    Terminal terminal("\n");
    Posix::TerminalMessageBox box;
    const std::string prompt =
        "Are you sure you want to Compact/Repair this database?\n\n/data/Shop.mdb";
    EXPECT_EQ(box.Show(prompt, kQuestionNoDefault, ""), kIdNo);
    const std::string out = terminal.Output();
    EXPECT_NE(out.find("Question"), std::string::npos) << out;
    EXPECT_NE(out.find(prompt), std::string::npos) << "line feeds as they are: " << out;
    EXPECT_NE(out.find("Yes"), std::string::npos) << out;
    EXPECT_NE(out.find("No"), std::string::npos) << out;
    EXPECT_LT(out.find("Tolvane"), out.find(prompt)) << out;
    EXPECT_LT(out.find(prompt), out.rfind("Yes")) << out;
    for (const auto& [flags, word] :
         {std::pair{48, "Warning"}, std::pair{292, "Question"}, std::pair{64, "Information"},
          std::pair{16, "Error"}, std::pair{0, ""}}) {
        EXPECT_EQ(Posix::IconWord(flags), word) << flags;
    }
}

// One line per try, and nothing read past the line that answers.
TEST(PosixMessageBox, ReadsTheAnswers) {
    const std::tuple<std::string, std::int32_t, std::int32_t, std::string> cases[] = {
        {"y\n", kQuestionNoDefault, kIdYes, ""},
        {"YES\n", kQuestionNoDefault, kIdYes, ""},
        {"  yes  \n", kQuestionNoDefault, kIdYes, ""},
        {"y\r\n", kQuestionNoDefault, kIdYes, ""},
        {"n\n", kQuestion, kIdNo, ""},
        {"nO\n", kQuestion, kIdNo, ""},
        {" n\t\n", kQuestion, kIdNo, ""},
        {"\n", kQuestionNoDefault, kIdNo, ""},  // Enter: 256 makes the second button, No
        {"\n", kQuestion, kIdYes, ""},          // the first button, Yes
        {"   \n", kQuestionNoDefault, kIdNo, ""},
        {"", kQuestionNoDefault, kIdNo, ""},  // the end of input is No
        {"", kQuestion, kIdNo, ""},           // also when Yes is the default
        {"maybe\n", kMbYesNo, kIdNo, ""},
        {"maybe\nyess\n0\nyes\nnext\n", kQuestionNoDefault, kIdYes, "next\n"},
        {"\nnext\n", kMbIconExclamation, kIdOk, "next\n"},
        {"whatever\n", kMbIconInformation, kIdOk, ""},
        {"", kMbIconStop, kIdOk, ""},
        {"cancel\n", 1, 2, ""},
        {"", 3, 2, ""},  // the end of input cancels where Cancel is offered
        {"\n", 3 | 512, 2, ""},
        {"r\n", 5, 4, ""},
        {"c\ncontinue\n", 6, 11, ""},  // 'c' names two buttons there, so it asks again
    };
    for (const auto& [input, flags, id, unread] : cases) {
        Terminal terminal(input);
        EXPECT_EQ(Posix::TerminalMessageBox().Show("Proceed?", flags, "Title"), id)
            << '"' << input << "\" " << flags;
        EXPECT_EQ(terminal.Unread(), unread) << '"' << input << '"';
        EXPECT_NE(terminal.Output().find("Title"), std::string::npos) << terminal.Output();
    }
    Terminal terminal("maybe\nyess\n0\nyes\n");
    Posix::TerminalMessageBox().Show("Proceed?", kQuestionNoDefault, "Title");
    const std::string out = terminal.Output();
    std::size_t asked = 0;
    for (auto at = out.find("Yes / No"); at != std::string::npos;
         at = out.find("Yes / No", at + 1)) {
        ++asked;
    }
    EXPECT_EQ(asked, 4u) << out;
}

TEST(PosixMessageBox, RaisesWhenNothingCanBeShown) {
    Terminal terminal("\n");
    std::cout.setstate(std::ios::badbit);
    const auto raised = Raised([] { Posix::TerminalMessageBox().Show("text", 64, "Tolvane"); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Number(), 57);
}

TEST(PosixMousePointer, OnATerminalBusyShowsWorkingAndDefaultClearsIt) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK), 0);
    const auto drain = [&] {
        std::string text;
        char chunk[256];
        for (ssize_t n; (n = ::read(fds[0], chunk, sizeof chunk)) > 0;) text.append(chunk, n);
        return text;
    };
    for (const bool terminal : {false, true}) {
        Posix::TerminalMousePointer pointer(fds[1], terminal);
        EXPECT_EQ(pointer.Get(), kPointerDefault);
        pointer.Set(kPointerDefault);
        EXPECT_EQ(drain(), "") << "default after default: nothing to clear";
        pointer.Set(kPointerBusy);
        EXPECT_EQ(pointer.Get(), kPointerBusy);
        EXPECT_EQ(drain(), terminal ? "Working..." : "") << "off a terminal nothing is written";
        pointer.Set(kPointerBusy);
        EXPECT_EQ(drain(), "") << "still busy: said once";
        pointer.Set(kPointerDefault);
        EXPECT_EQ(drain(), terminal ? "\r\033[K" : "");
        EXPECT_EQ(pointer.Get(), kPointerDefault);
    }
    ::close(fds[0]);
    ::close(fds[1]);
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

TEST(PosixOpenFileDialog, KeepsSpacesButMakesThePathFull) {
    std::string out;
    EXPECT_EQ(Select("/data/ Shop .mdb  \n", &out), "/data/ Shop .mdb  ")
        << "spaces are part of the name";
    EXPECT_NE(out.find("Select the Database File to Compact/Repair"), std::string::npos) << out;
    EXPECT_EQ(Select("/data/Shop.mdb\r\n"), "/data/Shop.mdb") << "a CR LF line";
    EXPECT_EQ(Select("\n"), "") << "an empty line cancels";
    EXPECT_EQ(Select(""), "") << "so does the end of input";
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

// --- the dialog object, which only callers of the compact operation hand in -----------------

std::shared_ptr<DialogObject> SetUpAsTheOperationDoes(const std::string& initDir) {
    auto dialog = Posix::CreateTerminalDialogObject();
    dialog->SetProperty("Filter", std::string("Databases|*.MDB"));
    dialog->SetProperty("FilterIndex", std::int16_t{1});
    dialog->SetProperty("DialogTitle", std::string("Select Database to Compact"));
    dialog->SetProperty("Flags", std::int16_t{4100});
    dialog->SetProperty("CancelError", std::int16_t{-1});
    dialog->SetProperty("InitDir", initDir);
    dialog->SetProperty("Filename", std::string("*.MDB"));
    return dialog;
}

TEST(PosixDialogObject, CancelRaisesTheCancelErrorWhenAskedTo) {
    for (const std::int16_t cancelError : {-1, 0}) {
        auto dialog = SetUpAsTheOperationDoes("\\");
        dialog->SetProperty("CancelError", cancelError);
        Terminal terminal("\n");
        const auto raised = Raised([&] { dialog->SetProperty("Action", std::int16_t{1}); });
        EXPECT_EQ(raised.has_value(), cancelError != 0);
        if (raised) {
            EXPECT_EQ(raised->Number(), 32755);
            EXPECT_EQ(raised->Description(), "Cancel was selected.");
        }
        EXPECT_EQ(std::get<std::string>(dialog->GetProperty("filename")), "*.MDB") << "any case";
    }
}

TEST(PosixDialogObject, UnknownNamesAndWrongKindsRaise) {
    auto dialog = Posix::CreateTerminalDialogObject();
    const std::tuple<std::function<void()>, std::int32_t, std::string> cases[] = {
        {[&] { dialog->SetProperty("Colour", std::string("red")); }, 438,
         "Object doesn't support this property or method"},
        {[&] { dialog->GetProperty("Colour"); }, 438,
         "Object doesn't support this property or method"},
        {[&] { dialog->SetProperty("Filter", std::int16_t{1}); }, 13, "Type mismatch"},
        {[&] { dialog->SetProperty("Flags", std::string("4100")); }, 13, "Type mismatch"},
    };
    for (const auto& [action, number, text] : cases) {
        const auto raised = Raised(action);
        ASSERT_TRUE(raised) << text;
        EXPECT_EQ(raised->Number(), number);
        EXPECT_EQ(raised->Description(), text);
    }
}

}  // namespace
