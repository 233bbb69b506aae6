#include "components/Clock.h"

#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <cctype>
#include <cerrno>
#include <string_view>

#include "components/posix/PosixErrors.h"
#include "components/posix/TimeFormat.h"

namespace Components {

namespace Posix {

std::string TimeSeparatorOf(const std::string& format) {
    // Where the directive that starts at `at` names its field, past an E or O modifier.
    auto field = [&](std::size_t at) {
        std::size_t letter = at + 1;
        if (letter < format.size() && (format[letter] == 'E' || format[letter] == 'O')) ++letter;
        return letter;
    };
    for (std::size_t at = format.find('%'); at != std::string::npos;
         at = format.find('%', field(at) + 1)) {
        const std::size_t hour = field(at);
        if (hour >= format.size()) break;
        if (std::string_view("HIkl").find(format[hour]) == std::string_view::npos) continue;
        const std::size_t next = format.find('%', hour + 1);
        if (next == std::string::npos || field(next) >= format.size() ||
            format[field(next)] != 'M') {
            break;
        }
        const std::string separator = format.substr(hour + 1, next - hour - 1);
        for (const char c : separator) {
            if (c < 0x20 || c > 0x7e || std::isalnum(static_cast<unsigned char>(c))) return ":";
        }
        return separator.empty() ? ":" : separator;
    }
    return ":";
}

}  // namespace Posix

namespace {

class LocalClock final : public Clock {
  public:
    LocalTime Now() override {
        const time_t now = ::time(nullptr);
        struct tm local;
        if (now == static_cast<time_t>(-1) || ::localtime_r(&now, &local) == nullptr) {
            Posix::RaiseSystemError(errno, "Now");
        }
        // A leap second reads as the last second of its minute.
        return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour,        local.tm_min,     local.tm_sec > 59 ? 59 : local.tm_sec};
    }

    std::string TimeSeparator() override {
        // The time locale the environment names, read without making it the process's own,
        // so nothing else the program formats or parses moves with it.
        const locale_t region = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
        if (region == static_cast<locale_t>(0)) return ":";
        const std::string format = ::nl_langinfo_l(T_FMT, region);
        ::freelocale(region);
        return Posix::TimeSeparatorOf(format);
    }
};

}  // namespace

std::unique_ptr<Clock> CreatePlatformInstance(Tag<Clock>) { return std::make_unique<LocalClock>(); }

}  // namespace Components
