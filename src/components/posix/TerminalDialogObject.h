// The file-open dialog object a caller of the compact operation may hand in, made here for a
// terminal: setting "Action" to 1 writes "DialogTitle" to standard output and reads one path
// from standard input; an empty line or end of input is a cancel.
#pragma once

#include <memory>

#include "components/FileDialogs.h"

namespace Components::Posix {

std::shared_ptr<DialogObject> CreateTerminalDialogObject();

}  // namespace Components::Posix
