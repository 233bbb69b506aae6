#include "components/windows/Console.h"

#include "components/windows/Win32.h"

#include "components/windows/WinErrors.h"
#include "components/windows/WinText.h"

namespace Components::Win {

bool ConsoleProgram() {
    static const bool console = [] {
        const auto* image = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
        return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
    }();
    return console;
}

void WriteStandardLine(const std::string& text, bool toError) {
    std::string lines;
    for (const char c : text) lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
    lines += "\r\n";

    const HANDLE out = GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    bool whole = false;
    DWORD mode = 0;
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if (GetConsoleMode(out, &mode)) {
        // A console shows UTF-16 whatever its code page; UTF-8 bytes would come out garbled.
        const std::wstring wide = Wide(lines);
        DWORD written = 0;
        whole =
            WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) &&
            written == wide.size();
    } else {
        DWORD written = 0;
        whole = WriteFile(out, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr) &&
                written == lines.size();
    }
    if (!whole) RaiseLastError(toError ? "Tell: standard error" : "Tell: standard output");
}

}  // namespace Components::Win
