#include "start/StartModule.h"

#include <memory>
#include <string>

#include "components/CommandLine.h"
#include "components/CurrentError.h"
#include "components/FileDialogs.h"
#include "components/FileTools.h"
#include "components/UserInterface.h"
#include "database/DAO_DatabaseFunctions.h"
#include "database/Passwords.h"
#include "start/CommandLineRuns.h"

namespace StartModule {

namespace {
using namespace std::string_literals;
const std::string kFilter = "Database Files (*.MDB)\0*.MDB\0All Files (*.*)\0*.*\0"s;

// The database the user chooses in the open-file dialog.
std::string ChooseInDialog() {
    auto& dialog = Components::The<Components::OpenFileDialog>();
    std::string fileTitle;
    std::string defaultExtension = "MDB";
    std::int32_t flags = Components::kOfnFileMustExist | Components::kOfnHideReadOnly;
    std::string path;
    dialog.SelectFile(0, fileTitle, "", kFilter, "", defaultExtension, flags,
                      "Select the Database File to Compact/Repair", 0, path);
    return path;
}

}  // namespace

int Main() {
    using Components::The;

    const Request request = ReadArguments(The<Components::CommandLine>().Arguments());
    // The account is the run's: each compaction signs in with it.
    if (!request.workgroup.empty() && request.kind != Request::kWrong) {
        DAO_DatabaseFunctions::UseWorkgroup(
            The<Components::CommandLine>().FullPath(request.workgroup), request.user);
    }
    switch (request.kind) {
        case Request::kHelp:
            The<Components::CommandLine>().Tell(Usage(), false, false);
            return kAllCompacted;
        case Request::kWrong: {
            const std::int32_t indent = qnGeneral::kIndentNone;
            qnGeneral::WriteLog("Wrong command line: " + request.wrong, 1, indent);
            The<Components::CommandLine>().Tell(request.wrong + "\n\n" + Usage(), true,
                                                request.unattended);
            return kWrongCall;
        }
        case Request::kUnattended:
            return CompactUnattended(request);
        case Request::kOnePath:
        case Request::kDialog:
            break;
    }

    // A path on the command line takes the dialog's place; everything after is the same.
    const std::string path = request.kind == Request::kOnePath
                                 ? The<Components::CommandLine>().FullPath(request.paths.front())
                                 : ChooseInDialog();

    const double size = The<Components::FileTools>().FileSize(path);
    if (!(size > 0)) {
        Ui::MsgBox("That is not a valid database file and cannot be compacted or repaired",
                   Components::kMbIconExclamation);
        return kAllCompacted;
    }

    if (Ui::MsgBox("Are you sure you want to Compact/Repair this database?\n\n" + path,
                   Components::kMbYesNo | Components::kMbIconQuestion |
                       Components::kMbDefButton2) == Components::kIdNo) {
        return kAllCompacted;
    }

    // The operation reports its own failures; whatever else it lets out ends the run quietly.
    Err::ResumeNext resume;
    std::shared_ptr<Components::DialogObject> noDialog;
    resume.Step([&] { DAO_DatabaseFunctions::CompactRepairDatabase(path, noDialog, "", 0); });
    return kAllCompacted;
}

}  // namespace StartModule
