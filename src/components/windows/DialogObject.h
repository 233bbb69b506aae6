// The file-open dialog object a caller of the compact operation may hand in, made here on
// Windows. Plain C++ in its interface, so a caller need not see the platform's headers.
#pragma once

#include <memory>

#include "components/FileDialogs.h"

namespace Components::Win {

std::shared_ptr<DialogObject> CreateDialogObject();

}  // namespace Components::Win
