#include "start/StartModule.h"

#include <memory>
#include <string>

#include "components/CurrentError.h"
#include "components/FileDialogs.h"
#include "components/FileTools.h"
#include "components/UserInterface.h"
#include "database/DAO_DatabaseFunctions.h"

namespace StartModule {

namespace {
using namespace std::string_literals;
const std::string kFilter = "Database Files (*.MDB)\0*.MDB\0All Files (*.*)\0*.*\0"s;
}  // namespace

void Main() {
    using Components::The;

    auto& dialog = The<Components::OpenFileDialog>();
    std::string fileTitle;
    std::string defaultExtension = "MDB";
    std::int32_t flags = Components::kOfnFileMustExist | Components::kOfnHideReadOnly;
    std::string path;
    dialog.SelectFile(0, fileTitle, "", kFilter, "", defaultExtension, flags,
                      "Select the Database File to Compact/Repair", 0, path);

    const double size = The<Components::FileTools>().FileSize(path);
    if (!(size > 0)) {
        Ui::MsgBox("That is not a valid database file and cannot be compacted or repaired",
                   Components::kMbIconExclamation);
        return;
    }

    if (Ui::MsgBox("Are you sure you want to Compact/Repair this database?\n\n" + path,
                   Components::kMbYesNo | Components::kMbIconQuestion |
                       Components::kMbDefButton2) == Components::kIdNo) {
        return;
    }

    // The operation reports its own failures; whatever else it lets out ends the run quietly.
    Err::ResumeNext resume;
    std::shared_ptr<Components::DialogObject> noDialog;
    resume.Step([&] { DAO_DatabaseFunctions::CompactRepairDatabase(path, noDialog, "", 0); });
}

}  // namespace StartModule
