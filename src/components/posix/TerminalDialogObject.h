// A dialog object for callers of the compact operation on a terminal.
#pragma once

#include <memory>

#include "components/FileDialogs.h"

namespace Components {

// Takes the named properties of a file-open dialog object; setting "Action" to 1 shows
// "DialogTitle" and reads a path from standard input, an empty line or the end of input
// being a cancel.
std::shared_ptr<DialogObject> CreateTerminalDialogObject();

}  // namespace Components
