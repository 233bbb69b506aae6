// How a locale's time format joins the hour and the minutes.
#pragma once

#include <string>

namespace Components::Posix {

// The text between the hour and the minutes of a strftime time format ("%H.%M.%S" gives
// "."); ":" when there is none or it is more than plain ASCII punctuation, as the regional
// settings of other systems never use letters or ideographs there.
std::string TimeSeparatorOf(const std::string& format);

}  // namespace Components::Posix
