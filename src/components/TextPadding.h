// The padding behind LogSettings.PadText, the same on every platform.
#pragma once

#include <cstdint>
#include <string>

namespace Components {

// `text` (UTF-8) brought to `width` characters, counted as code points so that a text outside
// ASCII does not skew the column, by copies of `fill` on its left; a text already as wide or
// wider, or an empty `fill`, leaves it unchanged.
std::string LeftPadded(const std::string& text, std::int32_t width, const std::string& fill);

}  // namespace Components
