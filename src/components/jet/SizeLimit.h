// The most a database file of each format can hold, and the warning for one that is close to
// it: the engine refuses to write past the limit, so a database there stops taking data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "components/jet/DatabaseCheck.h"

namespace Jet {

// 2^30 bytes for the 1997 format, 2^31 for the 2000 format and later; 0 for a file whose
// header names no format of the family.
std::uint64_t SizeLimit(const PageSource& file);

// For a database at or above 90 % of its format's limit, the warning that names `path`, its
// size and the limit, as one line; nothing for any other file.
std::optional<std::string> NearLimitWarning(const std::string& path, const PageSource& file);

}  // namespace Jet
