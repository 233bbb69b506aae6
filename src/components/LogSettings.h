// Where the diagnostic log learns its level and pads its counters.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <cstdint>
#include <string>

namespace Components {

class LogSettings {
  public:
    virtual ~LogSettings() = default;

    // 0 logging off, -1 everything, otherwise the highest message level written; 5 when
    // nothing is configured. Asked afresh at every call, so a change takes effect at once.
    virtual std::int32_t LoggingLevel() = 0;

    // The text brought to `width` characters by putting copies of `fill`, one character, on
    // its left; a text already as wide or wider comes back unchanged.
    virtual std::string PadText(std::string text, std::int32_t width, std::string fill) = 0;
};

std::unique_ptr<LogSettings> CreatePlatformInstance(Tag<LogSettings>);

}  // namespace Components
