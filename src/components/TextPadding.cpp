#include "components/TextPadding.h"

namespace Components {

std::string LeftPadded(const std::string& text, std::int32_t width, const std::string& fill) {
    std::size_t have = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) ++have;
    }
    std::string padding;
    for (; !fill.empty() && width > 0 && have < static_cast<std::size_t>(width); ++have) {
        padding += fill;
    }
    return padding + text;
}

}  // namespace Components
