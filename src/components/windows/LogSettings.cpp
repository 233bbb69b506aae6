#include "components/LogSettings.h"

#include "components/windows/Win32.h"

#include "components/TextPadding.h"

namespace Components {

namespace {

constexpr std::int32_t kLevelWhenUnset = 5;

class RegistryLogSettings final : public LogSettings {
  public:
    std::int32_t LoggingLevel() override {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tolvane\\LogSettings", 0, KEY_QUERY_VALUE,
                          &key) != ERROR_SUCCESS) {
            return kLevelWhenUnset;
        }
        DWORD type = 0;
        DWORD value = 0;
        DWORD size = sizeof value;
        const LSTATUS status = RegQueryValueExW(key, L"LoggingLevel", nullptr, &type,
                                                reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) {
            return kLevelWhenUnset;
        }
        // Stored unsigned; 0xFFFFFFFF is the "everything" level -1.
        return static_cast<std::int32_t>(value);
    }

    std::string PadText(std::string text, std::int32_t width, std::string fill) override {
        return LeftPadded(text, width, fill);
    }
};

}  // namespace

std::unique_ptr<LogSettings> CreatePlatformInstance(Tag<LogSettings>) {
    return std::make_unique<RegistryLogSettings>();
}

}  // namespace Components
