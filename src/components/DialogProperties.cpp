#include "components/DialogProperties.h"

#include "components/CurrentError.h"

namespace Components {

namespace {

// Property names are ASCII and a scripting client spells them in any case.
bool SameName(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return i == a.size() && b[i] == '\0';
}

[[noreturn]] void Unknown() { Err::Raise(438, Err::StandardText(438)); }

std::string Text(const PropertyValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    Err::Raise(13, Err::StandardText(13));
}

std::int16_t Number(const PropertyValue& value) {
    if (const auto* number = std::get_if<std::int16_t>(&value)) return *number;
    Err::Raise(13, Err::StandardText(13));
}

}  // namespace

void DialogProperties::SetProperty(const std::string& name, PropertyValue value) {
    if (SameName(name, "Filter")) {
        fields_.filter = Text(value);
    } else if (SameName(name, "FilterIndex")) {
        fields_.filterIndex = Number(value);
    } else if (SameName(name, "DialogTitle")) {
        fields_.title = Text(value);
    } else if (SameName(name, "Flags")) {
        fields_.flags = Number(value);
    } else if (SameName(name, "CancelError")) {
        fields_.cancelError = Number(value) != 0;
    } else if (SameName(name, "InitDir")) {
        fields_.initDir = Text(value);
    } else if (SameName(name, "Filename")) {
        fields_.filename = Text(value);
    } else if (SameName(name, "DefaultExt")) {
        fields_.defaultExt = Text(value);
    } else if (SameName(name, "Action")) {
        if (Number(value) != 1) {
            Err::Raise(Err::kInvalidProcedureCall, Err::StandardText(Err::kInvalidProcedureCall));
        }
        const auto chosen = Show(fields_);
        if (!chosen) {
            if (fields_.cancelError) Err::Raise(Err::kDialogCancelled, "Cancel was selected.");
            return;
        }
        fields_.filename = *chosen;
    } else {
        Unknown();
    }
}

PropertyValue DialogProperties::GetProperty(const std::string& name) {
    if (SameName(name, "Filter")) return fields_.filter;
    if (SameName(name, "FilterIndex")) return fields_.filterIndex;
    if (SameName(name, "DialogTitle")) return fields_.title;
    if (SameName(name, "Flags")) return fields_.flags;
    if (SameName(name, "CancelError"))
        return static_cast<std::int16_t>(fields_.cancelError ? -1 : 0);
    if (SameName(name, "InitDir")) return fields_.initDir;
    if (SameName(name, "Filename")) return fields_.filename;
    if (SameName(name, "DefaultExt")) return fields_.defaultExt;
    if (SameName(name, "Action")) return static_cast<std::int16_t>(0);
    Unknown();
}

}  // namespace Components
