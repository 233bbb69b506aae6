// The current local date and time, and how the user's region writes a time.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "components/Instance.h"

namespace Components {

struct LocalTime {
    int Year;    // four digits
    int Month;   // 1 to 12
    int Day;     // 1 to 31
    int Hour;    // 0 to 23
    int Minute;  // 0 to 59
    int Second;  // 0 to 59
};

class Clock {
  public:
    virtual ~Clock() = default;
    // Read anew at every call; two calls may straddle midnight.
    virtual LocalTime Now() = 0;

    // What joins hours, minutes and seconds in the regional settings, read anew at every
    // call; ":" where they say nothing else or cannot be read.
    virtual std::string TimeSeparator() = 0;

    // How long an unattended run lets a database in use be before it tries it again.
    virtual std::chrono::milliseconds RetryInterval() { return std::chrono::seconds(10); }
};

std::unique_ptr<Clock> CreatePlatformInstance(Tag<Clock>);

}  // namespace Components
