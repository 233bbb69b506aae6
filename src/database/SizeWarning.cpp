#include "components/CheckerServices.h"
#include "components/UserInterface.h"
#include "components/jet/SizeLimit.h"
#include "database/Safeguards.h"

namespace DAO_DatabaseFunctions {

std::string WarnNearLimit(const std::string& path, qnGeneral::Truth SilentMode) {
    std::string warning;
    Err::ResumeNext resume;
    // Read as it is now under its name, through the same shared read-only open as the checker,
    // so that the figures are the ones tolvane-check gives for the file.
    resume.Step([&] {
        const auto file = Components::The<Components::CheckerServices>().Open(path);
        warning = Jet::NearLimitWarning(path, *file).value_or("");
    });
    // After the success box, whose words stay as they always were.
    if (SilentMode == 0 && !warning.empty()) {
        resume.Step([&] { Ui::MsgBox(warning, Components::kMbIconExclamation); });
    }
    return warning;
}

}  // namespace DAO_DatabaseFunctions
