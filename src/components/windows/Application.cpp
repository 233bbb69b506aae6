#include "components/Application.h"

#include "components/windows/Win32.h"

#include "components/windows/WinErrors.h"
#include "components/windows/WinText.h"

namespace Components {

namespace {

class Win32Application final : public Application {
  public:
    std::string Title() override { return "Tolvane"; }

    std::string ExeBaseName() override {
        std::wstring path(Win::kLongPath + 1, L'\0');
        for (;;) {
            const DWORD n =
                GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
            if (n == 0) Win::RaiseLastError("ExeBaseName");
            // A result that fills the buffer may have been cut short.
            if (n < path.size()) {
                path.resize(n);
                break;
            }
            path.resize(path.size() * 2);
        }
        const auto slash = path.find_last_of(L"\\/");
        std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
        const auto dot = name.rfind(L'.');
        if (dot != std::wstring::npos) name.resize(dot);
        return Win::Utf8(name);
    }
};

}  // namespace

std::unique_ptr<Application> CreatePlatformInstance(Tag<Application>) {
    return std::make_unique<Win32Application>();
}

}  // namespace Components
