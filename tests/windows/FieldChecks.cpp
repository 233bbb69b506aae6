// What the file servers of the field do to a run, where the program's windows cannot show it:
// a database someone else has open, a rename that meets a scanner, a folder near MAX_PATH. Whole
// compactions run silently in this process, through the real module and components and the
// registered test engine. Run under Wine by run-suite with the path of a small sound database;
// prints "PASS <case>" or "FAIL <case>" with its findings, then "DONE".
#include "components/windows/Win32.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "components/Application.h"
#include "components/CurrentError.h"
#include "components/FileSystem.h"
#include "components/Monitoring.h"
#include "components/windows/WinText.h"
#include "database/DAO_DatabaseFunctions.h"

using namespace Components;

namespace {

std::vector<std::string> g_failures;
std::string g_scratch;   // UTF-8, ends in a backslash
std::string g_database;  // the small sound database every case starts from

void Check(bool ok, const std::string& what) {
    if (!ok) g_failures.push_back(what);
}

std::string ReadAll(const std::string& path) {
    std::ifstream file(std::filesystem::path(Win::Wide(path)), std::ios::binary);
    return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "<missing " + path + ">";
}

// The names in a folder that match the pattern.
std::set<std::string> Files(const std::string& pattern) {
    std::set<std::string> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(Win::Wide(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            names.insert(Win::Utf8(found.cFileName));
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::string LogPattern() {
    return The<FileSystem>().LogFolder() + The<Application>().ExeBaseName() + ".*.log";
}

std::string LogText() {
    std::string text;
    for (const auto& name : Files(LogPattern())) {
        text += ReadAll(The<FileSystem>().LogFolder() + name);
    }
    return text;
}

// A folder of its own holding a copy of the small database as Sales.mdb; the log starts empty.
std::string FreshDatabase(const std::string& folder) {
    CreateDirectoryW(Win::Wide(folder).c_str(), nullptr);
    const std::string db = folder + "\\Sales.mdb";
    CopyFileW(Win::Wide(g_database).c_str(), Win::Wide(db).c_str(), FALSE);
    for (const auto& name : Files(LogPattern())) {
        DeleteFileW(Win::Wide(The<FileSystem>().LogFolder() + name).c_str());
    }
    return db;
}

bool CompactSilently(const std::string& db) {
    std::shared_ptr<DialogObject> none;
    return DAO_DatabaseFunctions::CompactRepairDatabase(db, none, "", qnGeneral::True) != 0;
}

// Someone who has the database open stops the run with 3045, nothing is replaced and no copy
// stays: a user who held it from before the start sharing nothing, and one who opens it for
// writing the moment the engine lets go of it, where the hold must refuse the run before the
// proof does.
void OpenedByAnother() {
    for (const bool atReturn : {false, true}) {
        const std::string folder = g_scratch + (atReturn ? "writer" : "held");
        const std::string db = FreshDatabase(folder);
        const HANDLE held = atReturn
                                ? INVALID_HANDLE_VALUE
                                : CreateFileW(Win::Wide(db).c_str(), GENERIC_READ | GENERIC_WRITE,
                                              0, nullptr, OPEN_EXISTING, 0, nullptr);
        // The copy lacks a row: had the proof run before the hold, it would report that instead.
        SetEnvironmentVariableW(L"TOLVANE_ENGINE_KEEP_OPEN", atReturn ? L"1" : nullptr);
        SetEnvironmentVariableW(L"TOLVANE_ENGINE_DROP_ROW", atReturn ? L"1" : nullptr);
        const bool compacted = CompactSilently(db);
        SetEnvironmentVariableW(L"TOLVANE_ENGINE_KEEP_OPEN", nullptr);
        SetEnvironmentVariableW(L"TOLVANE_ENGINE_DROP_ROW", nullptr);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        const std::string said =
            std::string(
                atReturn ? "with its compacted copy, as it is in use again; the database has not "
                           "been changed and the error's description was reported as : \n\n\""
                         : "") +
            "Could not use '" + db + "'; file already in use by another process.";
        const std::string log = LogText();
        Check(!compacted && log.find(said) != log.npos && log.find("(3045)") != log.npos,
              folder + ": not refused with 3045 naming the files: " + log);
        const auto files = Files(folder + "\\*");
        Check(files == std::set<std::string>{"Sales.mdb"}, folder + ": not the database alone");
        Check(ReadAll(db) == ReadAll(g_database), folder + ": the database changed");
    }
}

// Lets go once a rename has been refused and has said it tries again, at whatever pace the
// machine keeps: after a fixed pause a slow machine might try the rename only later, or give up.
DWORD WINAPI CloseLater(void* handle) {
    for (int i = 0; i < 6000 && LogText().find("refused (system error 32)") == std::string::npos;
         ++i) {
        Sleep(10);
    }
    CloseHandle(static_cast<HANDLE>(handle));
    return 0;
}

void RenameWaitsForAScanner() {
    const std::string db = FreshDatabase(g_scratch + "scanned");
    const std::string backup = g_scratch + "scanned\\Sales-0001.BAK";
    // A scanner reads the file, sharing neither write nor delete, and lets go after a moment.
    const HANDLE scanner = CreateFileW(Win::Wide(db).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    CloseHandle(CreateThread(nullptr, 0, CloseLater, scanner, 0, nullptr));
    try {
        The<FileSystem>().Rename(db, backup);
    } catch (const Err::Error& e) {
        Check(false, "the rename gave up: " + e.Description());
    }
    Check(Files(g_scratch + "scanned\\*") == std::set<std::string>{"Sales-0001.BAK"},
          "not renamed");
    Check(LogText().find("refused (system error 32), tried again") != std::string::npos,
          "no retry logged: " + LogText());
}

// A temporary name that the system cuts short is refused with its error; where the system
// gives a whole one, the run ends as any other.
void LongFolder() {
    const std::string folder = g_scratch + std::string(256 - g_scratch.size(), 'L');
    const std::string db = FreshDatabase(folder);
    if (CompactSilently(db)) {
        Check(Files(folder + "\\*") == std::set<std::string>{"Sales.mdb", "Sales-0001.BAK"},
              "not the database and its backup");
        return;
    }
    const std::string log = LogText();
    const std::string said = "no new file can be created in its folder (system error ";
    const auto code = log.find(said);
    Check(code != log.npos && log[code + said.size()] != '0', "no system error given: " + log);
    Check(Files(folder + "\\*") == std::set<std::string>{"Sales.mdb"},
          "files were left beside the database");
    Check(ReadAll(db) == ReadAll(g_database), "the database changed");
}

BOOL WINAPI FatVolume(HANDLE, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD flags, LPWSTR, DWORD) {
    *flags = FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;
    return TRUE;
}

// Every drive under Wine keeps security: one that keeps none, as FAT, is this program's import
// of the system's answer replaced (MinGW's import table is writable data). The copy takes
// nothing, one line says so, the run goes on.
void NoSecurityKept() {
    const auto base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto& iat = reinterpret_cast<IMAGE_NT_HEADERS*>(
                          base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew)
                          ->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    const std::span slots(reinterpret_cast<void**>(base + iat.VirtualAddress),
                          iat.Size / sizeof(void*));
    const auto real = reinterpret_cast<void*>(&GetVolumeInformationByHandleW);  // its slot
    std::ranges::replace(slots, real, reinterpret_cast<void*>(FatVolume));
    const std::string db = FreshDatabase(g_scratch + "fat");
    const bool compacted = CompactSilently(db);
    std::ranges::replace(slots, reinterpret_cast<void*>(FatVolume), real);
    const std::string said = "'" + db + "' is on a file system that keeps no security: the " +
                             "compacted copy '" + g_scratch + "fat\\TOL";
    const std::string log = LogText();
    Check(compacted && log.find(said) != log.npos && log.find(said) == log.rfind(said),
          "not compacted with one line saying so: " + log);
}

// The viewer's text for each event the program reports is the line it carries, word for word,
// from the message table of the program named by `g_program`.
std::string g_program;
void MessageTable() {
    const HMODULE program =
        LoadLibraryExW(Win::Wide(g_program).c_str(), nullptr,
                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    Check(program != nullptr, "cannot load " + g_program);
    const std::wstring line = L"'C:\\D\u00E9j\u00E0\\Shop.mdb' compacted";
    for (const DWORD event : {kEventCompacted, kEventInUse, kEventFailed, kEventNoDatabase,
                              kEventNearLimit, kEventRun}) {
        wchar_t text[256] = {};
        const DWORD_PTR strings[] = {reinterpret_cast<DWORD_PTR>(line.c_str())};
        FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, program, event,
                       0x409, text, 256,
                       reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(strings)));
        Check(text == line, "event " + std::to_string(event) + " reads: " + Win::Utf8(text));
    }
    if (program) FreeLibrary(program);
}

}  // namespace

int main(int argc, char** argv) {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    g_scratch = Win::Utf8(temp) + "tolvane-field\\";
    CreateDirectoryW(Win::Wide(g_scratch).c_str(), nullptr);
    g_database = argc > 1 ? argv[1] : "";
    g_program = argc > 2 ? argv[2] : "";

    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"a database open elsewhere, from the start or from the engine's return, is refused",
         OpenedByAnother},
        {"a rename waits for a scanner to let go", RenameWaitsForAScanner},
        {"a database in a folder of 256 characters", LongFolder},
        {"a volume that keeps no security: nothing carried, one line logged", NoSecurityKept},
        {"the message table gives each event its line as it is", MessageTable},
    };
    int failed = 0;
    for (const auto& [name, run] : cases) {
        g_failures.clear();
        try {
            run();
        } catch (const Err::Error& e) {
            g_failures.push_back("raised " + std::to_string(e.Number()) + " " + e.Description());
        }
        std::printf("%s %s\n", g_failures.empty() ? "PASS" : "FAIL", name);
        for (const auto& f : g_failures) std::printf("    FAIL: %s\n", f.c_str());
        failed += g_failures.empty() ? 0 : 1;
    }
    std::printf("DONE\n");
    return failed == 0 ? 0 : 1;
}
