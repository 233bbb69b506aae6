#include "components/Clock.h"

#include "components/windows/Win32.h"

namespace Components {

namespace {

class Win32Clock final : public Clock {
  public:
    LocalTime Now() override {
        SYSTEMTIME t;
        GetLocalTime(&t);
        return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
    }
};

}  // namespace

std::unique_ptr<Clock> CreatePlatformInstance(Tag<Clock>) { return std::make_unique<Win32Clock>(); }

}  // namespace Components
