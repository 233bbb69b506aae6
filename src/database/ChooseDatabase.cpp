#include "database/ChooseDatabase.h"

#include <limits>

#include "components/CurrentError.h"
#include "components/FileTools.h"
#include "general/qnGeneral.h"

namespace DAO_DatabaseFunctions {

namespace {

std::string AsText(const Components::PropertyValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    return std::to_string(std::get<std::int16_t>(value));
}

}  // namespace

std::string ChooseInDialog(Components::DialogObject& dialog, const std::string& InitialFolder) {
    dialog.SetProperty("Filter", std::string("Databases|*.MDB"));
    dialog.SetProperty("FilterIndex", std::int16_t{1});
    dialog.SetProperty("DialogTitle", std::string("Select Database to Compact"));
    dialog.SetProperty("Flags", std::int16_t{4100});
    dialog.SetProperty("CancelError", qnGeneral::True);
    dialog.SetProperty("InitDir", InitialFolder + "\\");
    dialog.SetProperty("Filename", std::string("*.MDB"));

    std::int16_t savedDialogError = 0;
    {
        Err::ResumeNext resume;
        resume.Step([&] { dialog.SetProperty("Action", std::int16_t{1}); });
        const std::int32_t number = Err::Current().Number;
        if (number >= std::numeric_limits<std::int16_t>::min() &&
            number <= std::numeric_limits<std::int16_t>::max()) {
            savedDialogError = static_cast<std::int16_t>(number);
        }
    }

    const double size =
        Components::The<Components::FileTools>().FileSize(AsText(dialog.GetProperty("Filename")));
    if (savedDialogError == Err::kDialogCancelled || !(size > 0)) return "";
    return AsText(dialog.GetProperty("Filename"));
}

}  // namespace DAO_DatabaseFunctions
