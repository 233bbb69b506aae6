// The database chosen in a caller's file-open dialog object.
#pragma once

#include <string>

#include "components/FileDialogs.h"

namespace DAO_DatabaseFunctions {

// Lets the user choose the database in the caller's dialog, started in `InitialFolder`; empty
// when nothing usable was chosen (cancelled, or a missing or empty file).
std::string ChooseInDialog(Components::DialogObject& dialog, const std::string& InitialFolder);

}  // namespace DAO_DatabaseFunctions
