#include "components/Clock.h"

#include "components/windows/Win32.h"

#include "components/windows/WinText.h"

namespace Components {

namespace {

class Win32Clock final : public Clock {
  public:
    LocalTime Now() override {
        SYSTEMTIME t;
        GetLocalTime(&t);
        return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
    }

    std::string TimeSeparator() override {
        // The settings allow four characters; a longer one edited into the registry fails
        // the call and falls back like a missing one.
        wchar_t separator[16] = {};
        if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, separator, 16) <= 1) return ":";
        return Win::Utf8(separator);
    }
};

}  // namespace

std::unique_ptr<Clock> CreatePlatformInstance(Tag<Clock>) { return std::make_unique<Win32Clock>(); }

}  // namespace Components
