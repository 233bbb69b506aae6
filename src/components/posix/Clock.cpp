#include "components/Clock.h"

#include <time.h>

#include <cerrno>

#include "components/posix/PosixErrors.h"

namespace Components {

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
};

}  // namespace

std::unique_ptr<Clock> CreatePlatformInstance(Tag<Clock>) { return std::make_unique<LocalClock>(); }

}  // namespace Components
