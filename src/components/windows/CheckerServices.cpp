#include "components/CheckerServices.h"

#include "components/windows/FilePages.h"
#include "components/windows/SpareThread.h"
#include "components/windows/Win32.h"
#include "components/windows/WinText.h"

// After <windows.h>, which it needs.
#include <shellapi.h>

namespace Components {

namespace {

// The console outlives this program and serves whatever runs in it next, in the code page it
// had: the one found is put back as the program ends, by returning from main or by Ctrl+C or
// Ctrl+Break, which end it without unwinding.
UINT g_foundCodePage = 0;

void PutBackCodePage() {
    if (g_foundCodePage != 0) SetConsoleOutputCP(g_foundCodePage);
}

BOOL WINAPI OnBreak(DWORD) {
    PutBackCodePage();
    return FALSE;  // the system's own handling follows and ends the program
}

class OutputCodePage {
  public:
    void Use(UINT page) {
        if (g_foundCodePage == 0 && (g_foundCodePage = GetConsoleOutputCP()) != 0) {
            SetConsoleCtrlHandler(OnBreak, TRUE);
        }
        SetConsoleOutputCP(page);
    }
    OutputCodePage() = default;
    OutputCodePage(const OutputCodePage&) = delete;
    OutputCodePage& operator=(const OutputCodePage&) = delete;
    ~OutputCodePage() { PutBackCodePage(); }
};

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
        codePage_.Use(CP_UTF8);
        return arguments;
    }

    std::unique_ptr<Jet::PageSource> Open(const std::string& path) override {
        return Win::OpenFilePages(path);
    }

    std::unique_ptr<Jet::SecondThread> Beside() override {
        return std::make_unique<Win::SpareThread>();
    }

  private:
    // Lives as long as the process's one instance: until main has returned.
    OutputCodePage codePage_;
};

}  // namespace

std::unique_ptr<CheckerServices> CreatePlatformInstance(Tag<CheckerServices>) {
    return std::make_unique<WindowsCheckerServices>();
}

}  // namespace Components
