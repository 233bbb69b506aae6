// Checks of the Windows components that the whole-program runs cannot reach: buffer rules,
// failure numbers, non-ANSI paths, the registry level, the executable's resources. Run under
// Wine by run-suite with the path of Tolvane.exe; prints "PASS <case>" or "FAIL <case>: ...".
#include "components/windows/Win32.h"

#include <oleauto.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "components/Application.h"
#include "components/CurrentError.h"
#include "components/FileSystem.h"
#include "components/FileTools.h"
#include "components/LogSettings.h"
#include "components/ProcessMemory.h"
#include "components/SystemInfo.h"
#include "components/TempNameServices.h"
#include "components/windows/DialogObject.h"
#include "components/windows/EngineErrors.h"
#include "components/windows/LoadedLibrary.h"
#include "components/windows/WinText.h"

using namespace Components;

namespace {

std::vector<std::string> g_failures;

void Check(bool ok, const std::string& what) {
    if (!ok) g_failures.push_back(what);
}

// The error a step raises; number 0 when it raised none.
Err::Error Raised(const std::function<void()>& step) {
    try {
        step();
    } catch (const Err::Error& e) {
        return e;
    }
    return Err::Error(0, "");
}

std::string g_scratch;  // UTF-8, ends in a backslash

std::string ReadAll(const std::string& path) {
    const HANDLE h =
        CreateFileW(Win::Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes(GetFileSize(h, nullptr), '\0');
    DWORD read = 0;
    ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(h);
    return bytes;
}

void WriteAll(const std::string& path, const std::string& bytes) {
    const HANDLE h =
        CreateFileW(Win::Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

// A folder whose name the narrow code page cannot hold.
const std::string kForeign = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1-\xD0\x96";  // Ωμέγα-Ж

void TempNamesInForeignFolder() {
    const std::string folder = g_scratch + kForeign;
    CreateDirectoryW(Win::Wide(folder).c_str(), nullptr);
    auto& services = The<TempNameServices>();
    std::string buffer(1024, ' ');
    const std::uint32_t r = services.GetTempFileName(folder, "TOLVANE", 0, buffer);
    Check(r > 0, "GetTempFileName answers above 0");
    const auto nul = buffer.find('\0');
    Check(nul != std::string::npos, "the name is NUL-terminated");
    const std::string name = buffer.substr(0, nul);
    Check(name.rfind(folder + "\\TOL", 0) == 0, "the name lies in the folder, prefix TOL: " + name);
    // Windows itself writes ".tmp" in lower case; the case is the platform's.
    Check(name.size() > 4 &&
              CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE,
                             name.substr(name.size() - 4).c_str(), -1, ".TMP", -1) == CSTR_EQUAL,
          "the name ends in .TMP: " + name);
    Check(buffer.find_first_not_of(' ', nul + 1) == std::string::npos,
          "the rest of the buffer is left as it was");
    Check(The<FileTools>().FileSize(name) == 0, "the service made the empty file");

    std::string again(1024, ' ');
    services.GetTempFileName(folder + "\\", "TOL", 0, again);
    Check(again.substr(0, again.find('\0')) != name, "a second name differs from the first");
}

void TempPathBufferRules() {
    auto& services = The<TempNameServices>();
    std::string small(1024, ' ');
    const std::uint32_t needed = services.GetTempPath(3, small);
    Check(needed > 3, "a short buffer gets the length needed");
    Check(small == std::string(1024, ' '), "a short buffer is not written");
    std::string buffer(1024, ' ');
    const std::uint32_t n = services.GetTempPath(1023, buffer);
    Check(n > 0 && n + 1 == needed, "the length is the text's, without its NUL");
    Check(buffer[n] == '\0' && buffer[n - 1] == '\\', "the folder ends in a backslash");
}

void FileToolsAnswers() {
    auto& tools = The<FileTools>();
    WriteAll(g_scratch + "three.mdb", "abc");
    WriteAll(g_scratch + "empty.mdb", "");
    Check(tools.FileSize(g_scratch + "three.mdb") == 3, "a file's length");
    Check(tools.FileSize(g_scratch + "empty.mdb") == 0, "an empty file is 0");
    Check(tools.FileSize(g_scratch + "missing.mdb") < 0, "a missing file is negative");
    Check(tools.FileSize("") < 0, "an empty path is negative");
    Check(tools.FileSize(g_scratch + "*.MDB") < 0, "a wildcard names no file");
    Check(tools.FileSize(g_scratch) == 0, "a folder takes its name but holds no bytes");
    Check(tools.FileSize("C:\\no such folder\\x.mdb") < 0, "a missing folder is negative");
    Check(tools.FolderOf("C:\\data\\Sales.mdb", 0) == "C:\\data\\", "FolderOf keeps the slash");
    Check(tools.FolderOf("Sales.mdb", 0).empty(), "no folder part");
    Check(tools.PathWithoutExtension("C:\\a.b\\Sales.mdb") == "C:\\a.b\\Sales", "last dot");
    Check(tools.PathWithoutExtension("C:\\a.b\\Sales") == "C:\\a.b\\Sales",
          "a dot in the folder is no extension");
}

void RenameNeverReplaces() {
    auto& fs = The<FileSystem>();
    const std::string a = g_scratch + kForeign + "\\a.mdb";
    const std::string b = g_scratch + kForeign + "\\b.BAK";
    WriteAll(a, "old");
    WriteAll(b, "backup");
    const Err::Error e = Raised([&] { fs.Rename(a, b); });
    Check(e.Number() == Err::kFileAlreadyExists,
          "renaming onto a file raises 58: " + std::to_string(e.Number()));
    Check(ReadAll(a) == "old" && ReadAll(b) == "backup", "a refused rename changes nothing");
    fs.Kill(b);
    fs.Rename(a, b);
    Check(ReadAll(b) == "old" && The<FileTools>().FileSize(a) < 0, "a rename to a free name");
    Check(Raised([&] { fs.Rename(a, b); }).Number() == Err::kFileNotFound,
          "renaming a missing file raises 53");
    Check(Raised([&] { fs.Kill(a); }).Number() == Err::kFileNotFound, "killing a missing file");
}

void AppendIsNarrowAndShared() {
    auto& fs = The<FileSystem>();
    const std::string log = g_scratch + "log.txt";
    // Another reader holds the file open, as a viewer would.
    const HANDLE viewer =
        CreateFileW(Win::Wide(log).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, 0, nullptr);
    fs.AppendToFile(log, "caf\xC3\xA9\r\n");
    fs.AppendToFile(log, "two\r\n");
    CloseHandle(viewer);
    Check(ReadAll(log) == Win::Narrow("caf\xC3\xA9") + "\r\ntwo\r\n",
          "lines are appended in the narrow code page");
    Check(Win::Narrow("caf\xC3\xA9").size() == 4, "one byte for the accented letter");
    Check(Raised([&] { fs.AppendToFile("C:\\no such folder\\x.log", "x"); }).Number() != 0,
          "a file that cannot be opened raises");
    Check(fs.LogFolder() == "c:\\", "the log folder");
}

void SetLevel(DWORD type, const void* data, DWORD size) {
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Tolvane\\LogSettings", 0, nullptr, 0,
                    KEY_SET_VALUE, nullptr, &key, nullptr);
    RegSetValueExW(key, L"LoggingLevel", 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void LoggingLevelFromRegistry() {
    auto& settings = The<LogSettings>();
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tolvane\\LogSettings", 0, KEY_SET_VALUE,
                      &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"LoggingLevel");
        RegCloseKey(key);
    }
    Check(settings.LoggingLevel() == 5, "no value means 5");
    DWORD ten = 10;
    SetLevel(REG_DWORD, &ten, sizeof ten);
    Check(settings.LoggingLevel() == 10, "the DWORD is read at every call");
    DWORD all = 0xFFFFFFFF;
    SetLevel(REG_DWORD, &all, sizeof all);
    Check(settings.LoggingLevel() == -1, "0xFFFFFFFF is -1");
    SetLevel(REG_SZ, L"10", 6);
    Check(settings.LoggingLevel() == 5, "a value of another type is ignored");
    RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tolvane\\LogSettings", 0, KEY_SET_VALUE, &key);
    RegDeleteValueW(key, L"LoggingLevel");
    RegCloseKey(key);
    Check(settings.PadText("42", 10, " ") == "        42", "PadText right-aligns");
    Check(settings.PadText("12345678901", 10, " ") == "12345678901", "a wide text stays");
}

void BindingFailures() {
    const Err::Error noDll = Raised([] { Win::Library("tolvane-missing.dll"); });
    Check(noDll.Number() == 48 && noDll.Description() == "File not found: tolvane-missing.dll",
          "a missing DLL raises 48: " + noDll.Description());
    const Err::Error noEntry =
        Raised([] { Win::Library("kernel32.dll").Bind<void (*)()>("TolvaneMissingFunction"); });
    Check(noEntry.Number() == 453 &&
              noEntry.Description() ==
                  "Can't find DLL entry point TolvaneMissingFunction in kernel32.dll",
          "a missing function raises 453: " + noEntry.Description());
}

bool g_filledIn = false;
HRESULT __stdcall FillIn(EXCEPINFO* info) {
    g_filledIn = true;
    info->bstrDescription = SysAllocString(L"Filled in later");
    info->wCode = 3024;
    return S_OK;
}

void EngineErrorMapping() {
    EXCEPINFO e{};
    e.wCode = 3049;
    e.scode = MAKE_HRESULT(1, FACILITY_CONTROL, 3356);
    e.bstrDescription = SysAllocString(L"Engine says \x00E9");
    auto m = Win::MapInvokeFailure(DISP_E_EXCEPTION, &e);
    Check(m.Number == 3049, "wCode wins when set");
    Check(m.Description == "Engine says \xC3\xA9", "the description, as UTF-8");
    e = EXCEPINFO{};
    e.scode = MAKE_HRESULT(1, FACILITY_CONTROL, 3356);
    Check(Win::MapInvokeFailure(DISP_E_EXCEPTION, &e).Number == 3356, "FACILITY_CONTROL's code");
    e = EXCEPINFO{};
    e.scode = E_FAIL;
    m = Win::MapInvokeFailure(DISP_E_EXCEPTION, &e);
    Check(m.Number == static_cast<std::int32_t>(E_FAIL), "another scode as it is");
    e = EXCEPINFO{};
    e.pfnDeferredFillIn = FillIn;
    m = Win::MapInvokeFailure(DISP_E_EXCEPTION, &e);
    Check(g_filledIn && m.Number == 3024 && m.Description == "Filled in later",
          "a deferred record is filled in first");
    e = EXCEPINFO{};
    e.wCode = 53;
    Check(Win::MapInvokeFailure(DISP_E_EXCEPTION, &e).Description == "File not found",
          "no description: the standard text");
    Check(Win::MapInvokeFailure(DISP_E_UNKNOWNNAME, nullptr).Number == 438,
          "an unknown method is 438");
}

void ProcessFacts() {
    OsVersionRecord record{};
    The<SystemInfo>().GetOsVersion(record);
    Check(record.PlatformId == kPlatformNtFamily && record.MajorVersion >= 5, "the NT family");
    auto& memory = The<ProcessMemory>();
    const ProcessHandle process =
        memory.OpenProcess(kProcessQueryInformationAndVmRead, false, memory.GetCurrentProcessId());
    ProcessMemoryCounters counters{};
    counters.Cb = sizeof counters;
    Check(memory.GetProcessMemoryInfo(process, counters, sizeof counters), "counters read");
    Check(counters.WorkingSetSize > 0, "a working set above 0");
    Check(memory.CloseHandle(process), "the handle is closed");
    Check(The<Application>().ExeBaseName() == "ComponentChecks", "the executable's base name");
    Check(The<Application>().Title() == "Tolvane", "the title");
}

void DialogObjectProperties() {
    auto dialog = Win::CreateDialogObject();
    dialog->SetProperty("Filter", std::string("Databases|*.MDB"));
    dialog->SetProperty("flags", std::int16_t{4100});
    Check(std::get<std::string>(dialog->GetProperty("Filter")) == "Databases|*.MDB",
          "a text property reads back");
    Check(std::get<std::int16_t>(dialog->GetProperty("Flags")) == 4100,
          "names are not case-sensitive");
    Check(Raised([&] { dialog->SetProperty("Colour", std::int16_t{1}); }).Number() == 438,
          "an unknown property raises 438");
    Check(Raised([&] { dialog->SetProperty("Flags", std::string("x")); }).Number() == 13,
          "a value of the wrong kind raises 13");
}

std::wstring VersionText(const std::vector<char>& info, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), key.c_str(), &value, &length)) return L"<none>";
    return std::wstring(static_cast<const wchar_t*>(value));
}

void ExecutableResources(const std::string& exe) {
    const std::wstring path = Win::Wide(exe);
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    Check(!info.empty() &&
              GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()),
          "a version record");
    if (info.empty()) return;
    Check(VersionText(info, L"FileVersion") == L"1.00", "FileVersion 1.00");
    Check(VersionText(info, L"ProductVersion") == L"1.00", "ProductVersion 1.00");
    Check(VersionText(info, L"ProductName") == L"Tolvane", "ProductName Tolvane");

    const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    Check(FindResourceW(module, MAKEINTRESOURCEW(1), RT_GROUP_ICON) != nullptr, "an icon");
    const HRSRC dialog = FindResourceW(module, MAKEINTRESOURCEW(101), RT_DIALOG);
    Check(dialog != nullptr, "the form");
    if (dialog) {
        // DLGTEMPLATEEX: 26 bytes, then menu and class (none), then the caption.
        const auto* words = static_cast<const WORD*>(LockResource(LoadResource(module, dialog)));
        Check(words[1] == 0xFFFF && words[13] == 0 && words[14] == 0, "an extended template");
        Check(std::wstring(reinterpret_cast<const wchar_t*>(words + 15)) == L"Form1",
              "the form's caption is Form1");
    }
    FreeLibrary(module);
}

}  // namespace

int main(int argc, char** argv) {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    g_scratch = Win::Utf8(temp) + "tolvane-checks\\";
    CreateDirectoryW(Win::Wide(g_scratch).c_str(), nullptr);
    const std::string exe = argc > 1 ? argv[1] : "";

    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"temporary names in a folder outside the narrow code page", TempNamesInForeignFolder},
        {"temporary folder buffer rules", TempPathBufferRules},
        {"file tools", FileToolsAnswers},
        {"rename never replaces, kill reports", RenameNeverReplaces},
        {"log append: narrow code page, shared", AppendIsNarrowAndShared},
        {"logging level from the registry, padding", LoggingLevelFromRegistry},
        {"missing DLL and entry point", BindingFailures},
        {"engine error numbers and descriptions", EngineErrorMapping},
        {"system version, memory counters, executable name", ProcessFacts},
        {"dialog object properties", DialogObjectProperties},
        {"Tolvane.exe version record, icon and form", [&] { ExecutableResources(exe); }},
    };
    int failed = 0;
    for (const auto& [name, run] : cases) {
        g_failures.clear();
        try {
            run();
        } catch (const Err::Error& e) {
            g_failures.push_back("raised " + std::to_string(e.Number()) + " " + e.Description());
        }
        if (g_failures.empty()) {
            std::printf("PASS %s\n", name);
        } else {
            ++failed;
            std::printf("FAIL %s\n", name);
            for (const auto& f : g_failures) std::printf("    FAIL: %s\n", f.c_str());
        }
    }
    return failed == 0 ? 0 : 1;
}
