#include "components/CheckerServices.h"

#include "components/windows/FilePages.h"
#include "components/windows/Win32.h"
#include "components/windows/WinText.h"

// After <windows.h>, which it needs.
#include <shellapi.h>

namespace Components {

namespace {

class WindowsCheckerServices final : public CheckerServices {
  public:
    std::vector<std::string> Arguments(int, char**) override {
        // The narrow argv holds only what the code page can; the UTF-16 command line holds all.
        std::vector<std::string> arguments;
        int count = 0;
        if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
            for (int i = 1; i < count; ++i) arguments.push_back(Win::Utf8(wide[i]));
            LocalFree(wide);
        }
        SetConsoleOutputCP(CP_UTF8);
        return arguments;
    }

    std::unique_ptr<Jet::PageSource> Open(const std::string& path) override {
        return Win::OpenFilePages(path);
    }
};

}  // namespace

std::unique_ptr<CheckerServices> CreatePlatformInstance(Tag<CheckerServices>) {
    return std::make_unique<WindowsCheckerServices>();
}

}  // namespace Components
