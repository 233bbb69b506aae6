// What the file servers of the field do to a run, where the program's windows cannot show it:
// the database held against writers from the engine's return, a rename that meets a scanner,
// a database in a folder longer than MAX_PATH. Whole compactions run silently in this
// process, through the real module and components and the registered test engine. Run under
// Wine by run-suite with the path of a small sound database; prints "PASS <case>" or
// "FAIL <case>" with its findings, then "DONE".
#include "components/windows/Win32.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "components/Application.h"
#include "components/CurrentError.h"
#include "components/DatabaseHold.h"
#include "components/FileSystem.h"
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

// The error opening the file for this access gives, as another program would open it; 0 when
// it opens.
DWORD OpenError(const std::string& path, DWORD access) {
    const HANDLE h = CreateFileW(Win::Wide(path).c_str(), access,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(h);
    return 0;
}

void HoldLetsReadAndRenameButNotWrite() {
    const std::string db = FreshDatabase(g_scratch + "hold");
    const std::string backup = g_scratch + "hold\\Sales-0001.BAK";
    auto& hold = The<DatabaseHold>();
    const FileState before = hold.State(db);
    hold.Hold(db);
    Check(OpenError(db, GENERIC_WRITE) == ERROR_SHARING_VIOLATION, "a writer is refused");
    Check(OpenError(db, GENERIC_READ) == 0, "a reader may read");
    The<FileSystem>().Rename(db, backup);
    Check(hold.State(backup).SameAs(before), "the renamed file is the same file");
    Check(OpenError(backup, GENERIC_WRITE) == ERROR_SHARING_VIOLATION, "held under its new name");
    hold.Release();
    Check(OpenError(backup, GENERIC_WRITE) == 0, "a writer may write once it is released");
    if (CreateHardLinkW(Win::Wide(db).c_str(), Win::Wide(backup).c_str(), nullptr)) {
        Check(hold.State(db).Links == 2, "a second name is counted");
    }
}

void WriterAtTheEnginesReturn() {
    const std::string folder = g_scratch + "writer";
    const std::string db = FreshDatabase(folder);
    // The copy lacks a row: had the proof run before the hold, it would report that instead.
    SetEnvironmentVariableW(L"TOLVANE_ENGINE_KEEP_OPEN", L"1");
    SetEnvironmentVariableW(L"TOLVANE_ENGINE_DROP_ROW", L"1");
    const bool compacted = CompactSilently(db);
    SetEnvironmentVariableW(L"TOLVANE_ENGINE_KEEP_OPEN", nullptr);
    SetEnvironmentVariableW(L"TOLVANE_ENGINE_DROP_ROW", nullptr);
    const std::string log = LogText();
    const std::string said = "Could not use '" + db +
                             "'; file already in use by another process. The compacted copy is "
                             "left as '" +
                             folder + "\\TOL";
    Check(!compacted && log.find(said) != std::string::npos && log.find("(3045)") != log.npos,
          "not refused at the hold with 3045 naming both files: " + log);
    const auto files = Files(folder + "\\*");
    Check(files.size() == 2 && files.count("Sales.mdb") == 1, "not the database and its copy");
    Check(ReadAll(db) == ReadAll(g_database), "the database changed");
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

// A folder whose path, without its final backslash, is this long; all but its last part made.
std::string FolderOfLength(std::size_t length) {
    std::string folder = g_scratch + "long";
    while (length - folder.size() > 202) folder += "\\" + std::string(200, 'L');
    folder += "\\" + std::string(length - folder.size() - 1, 'L');
    for (auto at = folder.find('\\', g_scratch.size()); at != folder.npos;
         at = folder.find('\\', at + 1)) {
        CreateDirectoryW(Win::Wide(folder.substr(0, at)).c_str(), nullptr);
    }
    return folder;
}

// "\TOL", one to four hexadecimal digits, ".MDB": the service's name with its extension swapped.
bool NamedAsCopy(const std::string& name) {
    if (!name.starts_with("\\TOL") || !name.ends_with(".MDB")) return false;
    const std::string digits = name.substr(4, name.size() - 8);
    return !digits.empty() && digits.size() <= 4 &&
           digits.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
}

void LongFolders() {
    const std::string calls = g_scratch + "calls.txt";
    SetEnvironmentVariableW(L"TOLVANE_ENGINE_CALLS", Win::Wide(calls).c_str());
    for (const std::size_t length : {256u, 300u}) {
        const std::string folder = FolderOfLength(length);
        const std::string db = FreshDatabase(folder);
        DeleteFileW(Win::Wide(calls).c_str());
        const std::string at = std::to_string(length) + ": ";
        if (CompactSilently(db)) {
            const std::string call = ReadAll(calls);
            const std::string start = db + "|" + folder;
            Check(call.starts_with(start) && call.ends_with("\n") &&
                      NamedAsCopy(call.substr(start.size(), call.size() - start.size() - 1)),
                  at + "the copy was not named TOLxxxx.MDB: " + call);
            Check(Files(folder + "\\*") == std::set<std::string>{"Sales.mdb", "Sales-0001.BAK"},
                  at + "not the database and its backup");
        } else {
            const std::string log = LogText();
            const std::string said = "no new file can be created in its folder (system error ";
            const auto code = log.find(said);
            Check(code != log.npos && log[code + said.size()] != '0',
                  at + "no system error given: " + log);
            Check(Files(folder + "\\*") == std::set<std::string>{"Sales.mdb"},
                  at + "files were left beside the database");
            Check(ReadAll(db) == ReadAll(g_database), at + "the database changed");
        }
    }
    SetEnvironmentVariableW(L"TOLVANE_ENGINE_CALLS", nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    g_scratch = Win::Utf8(temp) + "tolvane-field\\";
    CreateDirectoryW(Win::Wide(g_scratch).c_str(), nullptr);
    g_database = argc > 1 ? argv[1] : "";

    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"the hold lets others read and the program rename, but nobody write",
         HoldLetsReadAndRenameButNotWrite},
        {"a writer at the engine's return: refused at the hold, before the proof",
         WriterAtTheEnginesReturn},
        {"a rename waits for a scanner to let go", RenameWaitsForAScanner},
        {"a database in a folder longer than MAX_PATH", LongFolders},
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
