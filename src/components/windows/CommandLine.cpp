// The command line as Windows keeps it, in UTF-16, so that a path outside the narrow code page
// arrives whole. What it tells a user goes to the console where the program has one
// (Tolvane.com), else into a message box.
#include "components/CommandLine.h"

#include "components/windows/Win32.h"

#include <shellapi.h>

#include "components/Application.h"
#include "components/UserInterface.h"
#include "components/windows/Console.h"
#include "components/windows/WinErrors.h"
#include "components/windows/WinText.h"

namespace Components {

namespace {

class Win32CommandLine final : public CommandLine {
  public:
    std::vector<std::string> Arguments() override {
        int count = 0;
        LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
        if (arguments == nullptr) Win::RaiseLastError("Arguments");
        std::vector<std::string> result;
        for (int i = 1; i < count; ++i) result.push_back(Win::Utf8(arguments[i]));
        LocalFree(arguments);
        return result;
    }

    std::string FullPath(std::string argument) override {
        if (argument.empty()) return argument;
        const std::wstring wide = Win::Wide(argument);
        std::wstring full(MAX_PATH, L'\0');
        for (;;) {
            const DWORD n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()),
                                             full.data(), nullptr);
            if (n == 0) Win::RaiseLastError("FullPath");
            if (n < full.size()) {
                full.resize(n);
                return Win::Utf8(full);
            }
            full.resize(n);
        }
    }

    bool SlashOptions() override { return true; }

    void Tell(std::string text, bool problem, bool unattended) override {
        if (Win::ConsoleProgram()) return Win::WriteStandardLine(text, problem);
        if (unattended) return;
        The<MessageBox>().Show(text, problem ? kMbIconExclamation : kMbIconInformation,
                               The<Application>().Title());
    }

    void TellOutcome(std::string line, bool failed) override {
        if (Win::ConsoleProgram()) Win::WriteStandardLine(line, failed);
    }
};

}  // namespace

void KeepStartArguments(int, char**) {}

std::unique_ptr<CommandLine> CreatePlatformInstance(Tag<CommandLine>) {
    return std::make_unique<Win32CommandLine>();
}

}  // namespace Components
