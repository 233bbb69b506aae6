// The named properties of a file-open dialog object, kept alike on every platform: a
// platform only shows its dialog.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "components/FileDialogs.h"

namespace Components {

class DialogProperties : public DialogObject {
  public:
    void SetProperty(const std::string& name, PropertyValue value) final;
    PropertyValue GetProperty(const std::string& name) final;

  protected:
    struct Fields {
        std::string filter;  // "description|pattern" pairs, as the caller wrote them
        std::int16_t filterIndex = 0;
        std::string title;
        std::int16_t flags = 0;
        bool cancelError = false;
        std::string initDir;
        std::string filename;
        std::string defaultExt;
    };

    // Shows the dialog as `fields` describe it and answers the full path chosen, or nothing
    // when the user cancelled. Raises Err::Error when no dialog can be shown.
    virtual std::optional<std::string> Show(const Fields& fields) = 0;

  private:
    Fields fields_;
};

}  // namespace Components
