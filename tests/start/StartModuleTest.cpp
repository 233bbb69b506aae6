// Start-up in a child process with the platform's own components, where a whole run cannot
// show what happens: what the open-file dialog is asked for, and which errors end the run
// quietly and which reach the caller.
#include "components/CurrentError.h"
#include "components/FileDialogs.h"
#include "components/UserInterface.h"
#include "components/posix/SystemCalls.h"
#include "start/StartModule.h"
#include "support/WholeRun.h"

namespace {

using namespace WholeRun;
using namespace Components;

class Start : public Scratch {
  protected:
    Start() : Scratch(true) { WriteFile(db, old); }

    // Main in a child after `prepare`: 0 when it returned with no error left current, 2 when
    // it raised.
    Outcome Main(const std::function<void()>& prepare, const std::string& input) {
        return Wait(Scratch::Start(input, [&] {
            prepare();
            try {
                StartModule::Main();
            } catch (const Err::Error& error) {
                std::cout << "raised " << error.Number();
                return 2;
            }
            return Err::Current().Number == 0 ? 0 : 3;
        }));
    }

    const fs::path db = data / "Shop.mdb";
    const std::string old = TestDatabase::Make();
};

TEST_F(Start, TheDialogIsAskedForADatabaseFile) {
    struct Recorder : OpenFileDialog {
        void SelectFile(std::int32_t owner, std::string& fileTitle, std::string initialFile,
                        std::string filter, std::string initialFolder, std::string& extension,
                        std::int32_t& flags, std::string title, std::int32_t reserved,
                        std::string& result) override {
            std::cout << owner << "|" << fileTitle << "|" << initialFile << "|" << filter << "|"
                      << initialFolder << "|" << extension << "|" << flags << "|" << title << "|"
                      << reserved << "\n";
            result.clear();
        }
    };
    const Outcome run =
        Main([] { Instance<OpenFileDialog>::Install(std::make_unique<Recorder>()); }, "\n");
    using namespace std::string_literals;
    EXPECT_TRUE(run.output.starts_with(
        "0|||Database Files (*.MDB)\0*.MDB\0All Files (*.*)\0*.*\0||MDB|4100|Select the Database File to Compact/Repair|0\n"s))
        << run.output;
    EXPECT_NE(run.output.find("== Tolvane [Warning] ==\n" + kWarning), std::string::npos);
}

// A box that cannot be shown inside the operation ends the run quietly; a file that cannot be
// looked at before it reaches the caller. Neither touches the database.
TEST_F(Start, ErrorsInsideTheOperationEndQuietlyAndBeforeItReachTheCaller) {
    struct NoSecondBox : MessageBox {
        std::unique_ptr<MessageBox> real = CreatePlatformInstance(Tag<MessageBox>{});
        std::int32_t Show(std::string prompt, std::int32_t flags, std::string title) override {
            if (title == "Compact/Repair Database") Err::Raise(5, "no display");
            return real->Show(prompt, flags, title);
        }
    };
    const std::string input = db.string() + "\ny\ny\n";
    EXPECT_EQ(Main([] { Instance<MessageBox>::Install(std::make_unique<NoSecondBox>()); }, input)
                  .Status(),
              0);
    const Outcome run = Main(
        [] { Posix::Sys().Stat = [](const char*, struct stat*) { return errno = EACCES, -1; }; },
        input);
    EXPECT_EQ(run.Status(), 2);
    EXPECT_EQ(run.output.find("Yes / No"), std::string::npos) << run.output;
    EXPECT_EQ(Files(), std::set<std::string>{"Shop.mdb"});
    EXPECT_EQ(ReadFile(db), old);
}

}  // namespace
