// The file-open dialogs: the component start-up uses, and the dialog object a caller of the
// compact operation may supply.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <cstdint>
#include <string>
#include <variant>

namespace Components {

// OPENFILENAME flags the program passes.
enum : std::int32_t { kOfnHideReadOnly = 0x4, kOfnFileMustExist = 0x1000 };

class OpenFileDialog {
  public:
    virtual ~OpenFileDialog() = default;

    // Shows a modal file-open dialog titled `title`, offering `filter` (pairs of a display
    // text and a pattern, each item ending in NUL) and `defaultExtension`, obeying `flags`,
    // and puts the full path chosen into `result`: empty when the user cancels. `owner`,
    // `fileTitle`, `initialFile`, `initialFolder` and `reserved` are passed as 0 or empty.
    // Raises Err::Error when no dialog can be shown.
    virtual void SelectFile(std::int32_t owner, std::string& fileTitle, std::string initialFile,
                            std::string filter, std::string initialFolder,
                            std::string& defaultExtension, std::int32_t& flags, std::string title,
                            std::int32_t reserved, std::string& result) = 0;
};

using PropertyValue = std::variant<std::int16_t, std::string>;

// A file-open dialog driven by named properties: "Filter" ("description|pattern"),
// "FilterIndex", "DialogTitle", "Flags", "CancelError" (a truth value), "InitDir",
// "Filename" (before: what the name box starts with; after: the full path chosen) and
// "Action" (setting it to 1 shows the dialog and returns when the user closes it).
class DialogObject {
  public:
    virtual ~DialogObject() = default;

    // Setting "Action" to 1 while "CancelError" is set raises Err::Error 32755 when the
    // user cancels. An unknown name or a value of the wrong kind raises Err::Error 438/13.
    virtual void SetProperty(const std::string& name, PropertyValue value) = 0;
    virtual PropertyValue GetProperty(const std::string& name) = 0;
};

std::unique_ptr<OpenFileDialog> CreatePlatformInstance(Tag<OpenFileDialog>);

}  // namespace Components
