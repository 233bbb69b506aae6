// The stand-in's verdict on a database before it is copied: the reader's check of the whole
// file, in the engine's own numbers.
#pragma once

#include <cstdint>
#include <string>

#include "components/jet/CopyProof.h"
#include "components/jet/DatabaseCheck.h"

namespace Components::Posix {

// Judges the reader's report on the database, whose failed read, if any, left `readError`. A file
// that is not a database, or names a format version the reader does not know, raises 3343; a
// damaged one (a file cut short or not whole pages included) 3049; a failed read 3043. A database
// whose structure the reader does not know otherwise is returned as it is, to be copied unproven.
Jet::CheckReport CheckSource(const Jet::CheckReport& report, int readError,
                             const std::string& source);

}  // namespace Components::Posix
