// The wide temporary-name services behind the narrow buffer contract: the narrow ones lose
// every character outside the system code page, so a database in such a folder could never
// get a name beside it. The buffer carries UTF-8 bytes instead.
#include "components/TempNameServices.h"

#include "components/windows/Win32.h"

#include <algorithm>
#include <cwchar>

#include "components/CurrentError.h"
#include "components/windows/LoadedLibrary.h"
#include "components/windows/WinPaths.h"
#include "components/windows/WinText.h"

namespace Components {

namespace {

// Writes `answer` and its NUL at the start of the buffer, leaving the rest as it was.
void WriteInto(std::string& buffer, const std::string& answer) {
    buffer.replace(0, answer.size() + 1, answer + '\0');
}

void LeaveError(DWORD code) { Err::Current().LastDllError = code; }

bool EndsInTmp(const std::wstring& name) {
    return name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".TMP") == 0;
}

// The service takes no folder longer than this, in whatever form it is given.
constexpr std::size_t kServiceFolder = MAX_PATH - 14;

std::wstring NameFor(const std::wstring& stem, std::uint32_t number) {
    wchar_t digits[8];
    swprintf(digits, 8, L"%04X", static_cast<unsigned>(number & 0xFFFF));
    return stem + digits + L".TMP";
}

// A name made as the service makes it, for a folder the service refuses: the folder, the first
// three characters of the prefix, four hexadecimal digits, ".TMP"; the file created exclusively,
// the next number tried while one is taken.
std::uint32_t NameInLongFolder(std::wstring stem, const std::string& prefix, std::uint32_t unique,
                               std::string& buffer) {
    if (stem.back() != L'\\' && stem.back() != L'/') stem += L'\\';
    stem += Win::Wide(prefix).substr(0, 3);
    // Every name has the same length, so whether it fits is known before any is made.
    if (Win::Utf8(NameFor(stem, 1)).size() + 1 > buffer.size()) {
        LeaveError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (unique != 0) {
        WriteInto(buffer, Win::Utf8(NameFor(stem, unique)));
        return unique;
    }
    const std::uint32_t first = GetTickCount();
    DWORD error = ERROR_FILE_EXISTS;
    for (std::uint32_t tried = 0; tried < 0xFFFF && error == ERROR_FILE_EXISTS; ++tried) {
        const std::uint32_t number = (first + tried) % 0xFFFF + 1;  // 1 to FFFF
        const std::string name = Win::Utf8(NameFor(stem, number));
        const HANDLE file = CreateFileW(Win::FilePath(name).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            WriteInto(buffer, name);
            return number;
        }
        error = GetLastError();
    }
    LeaveError(error);
    return 0;
}

class Win32TempNameServices final : public TempNameServices {
  public:
    std::uint32_t GetTempPath(std::uint32_t bufferLength, std::string& buffer) override {
        using Fn = DWORD(WINAPI*)(DWORD, LPWSTR);
        static const auto getTempPath = Win::Library("kernel32.dll").Bind<Fn>("GetTempPathW");
        std::wstring wide(Win::kLongPath + 1, L'\0');
        const DWORD n = getTempPath(static_cast<DWORD>(wide.size()), wide.data());
        if (n == 0 || n > wide.size()) {
            LeaveError(GetLastError());
            return 0;
        }
        wide.resize(n);
        const std::string path = Win::Utf8(wide);
        const std::size_t room = std::min<std::size_t>(bufferLength, buffer.size());
        if (path.size() + 1 > room) return static_cast<std::uint32_t>(path.size() + 1);
        WriteInto(buffer, path);
        return static_cast<std::uint32_t>(path.size());
    }

    std::uint32_t GetTempFileName(std::string folder, std::string prefix, std::uint32_t unique,
                                  std::string& buffer) override {
        using Fn = UINT(WINAPI*)(LPCWSTR, LPCWSTR, UINT, LPWSTR);
        static const auto getTempFileName =
            Win::Library("kernel32.dll").Bind<Fn>("GetTempFileNameW");
        const std::wstring wideFolder = Win::Wide(folder);
        if (wideFolder.size() > kServiceFolder) {
            return NameInLongFolder(wideFolder, prefix, unique, buffer);
        }
        // The service copies the whole folder into the buffer, however long it is.
        std::wstring name(Win::kLongPath + 1, L'\0');
        const UINT result =
            getTempFileName(wideFolder.c_str(), Win::Wide(prefix).c_str(), unique, name.data());
        if (result == 0) {
            LeaveError(GetLastError());
            return 0;
        }
        name.resize(std::wcslen(name.c_str()));
        const std::string path = Win::Utf8(name);
        // Near the length limit a service may cut the name short and still succeed; a name
        // without its ".TMP" would lose its extension when the caller swaps it.
        const DWORD failure = !EndsInTmp(name)                  ? ERROR_FILENAME_EXCED_RANGE
                              : path.size() + 1 > buffer.size() ? ERROR_INSUFFICIENT_BUFFER
                                                                : ERROR_SUCCESS;
        if (failure != ERROR_SUCCESS) {
            // The caller cannot use the name, so the file made for it must not stay.
            if (unique == 0) DeleteFileW(name.c_str());
            LeaveError(failure);
            return 0;
        }
        WriteInto(buffer, path);
        return result;
    }
};

}  // namespace

std::unique_ptr<TempNameServices> CreatePlatformInstance(Tag<TempNameServices>) {
    return std::make_unique<Win32TempNameServices>();
}

}  // namespace Components
