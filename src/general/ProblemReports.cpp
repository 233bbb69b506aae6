#include "components/CurrentError.h"
#include "components/UserInterface.h"
#include "general/qnGeneral.h"

namespace qnGeneral {

std::string ReportError(std::string context, std::int32_t errorNumber, const Truth& SilentMode) {
    std::string detail;
    if (errorNumber != 0) {
        detail = Trim(Err::StandardText(errorNumber));
        // Numbers without a standard wording (the engine's own) are explained by the
        // description that came with them.
        if (detail.empty() && Err::Current().Number == errorNumber) {
            detail = Err::Current().Description + " (" + std::to_string(errorNumber) + ")";
        }
    }
    return ShowProblem(context, detail, SilentMode);
}

std::string ShowProblem(std::string context, std::string detail, Truth SilentMode) {
    auto& pointer = Components::The<Components::MousePointer>();
    const std::int32_t callersShape = pointer.Get();
    pointer.Set(Components::kPointerDefault);

    context = Trim(context);
    detail = Trim(detail);
    std::string message = "There was a problem " + context;
    if (!detail.empty()) {
        message += " and the error's description was reported as : \n\n\"" + detail + "\"";
    }

    if (SilentMode == 0) Ui::MsgBox(message, Components::kMbIconExclamation);
    const std::int32_t indent = kIndentNone;
    WriteLog(message, 5, indent);

    pointer.Set(callersShape);
    return message;
}

}  // namespace qnGeneral
