#include "components/FileSystem.h"

#include "components/windows/Win32.h"

#include <shlobj.h>

#include <climits>
#include <utility>

#include "components/CurrentError.h"
#include "components/windows/WinErrors.h"
#include "components/windows/WinPaths.h"
#include "components/windows/WinText.h"
#include "general/qnGeneral.h"

namespace Components {

namespace {

class FileHandle {
  public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE handle_;
};

// The user's own local application data folder, without its final backslash.
std::string LocalAppData() {
    wchar_t folder[MAX_PATH];
    if (FAILED(
            SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        Err::Raise(Err::kPathNotFound, "AppendToLog: the local application data folder is unknown");
    }
    return Win::Utf8(folder);
}

// On-access scanners and indexers open a freshly written file for a moment, and a rename
// that meets one is refused; it is tried again for about two seconds before it counts.
constexpr int kRenameTries = 8;
constexpr DWORD kRenamePause = 250;  // milliseconds

bool MayPass(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

void LogRetry(const std::string& from, const std::string& to, DWORD error, int tried) {
    try {
        qnGeneral::WriteLog("Rename '" + from + "' to '" + to + "' refused (system error " +
                                std::to_string(error) + "), tried again in " +
                                std::to_string(kRenamePause) + " ms (" + std::to_string(tried + 1) +
                                " of " + std::to_string(kRenameTries) + ")",
                            -1, qnGeneral::kIndentNone);
    } catch (...) {
        // A line the log could not take is no reason to give up the rename.
    }
}

class Win32FileSystem final : public FileSystem {
  public:
    void Rename(std::string from, std::string to) override {
        // No MOVEFILE_REPLACE_EXISTING: a backup or the database must never be overwritten.
        // Write-through, so the database's name does not point at a copy still in the cache.
        const std::wstring wideFrom = Win::FilePath(from);
        const std::wstring wideTo = Win::FilePath(to);
        for (int tried = 1;; ++tried) {
            if (MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_WRITE_THROUGH)) return;
            const DWORD error = GetLastError();
            if (!MayPass(error) || tried == kRenameTries) {
                SetLastError(error);
                Win::RaiseLastError("Rename");
            }
            LogRetry(from, to, error, tried);
            Sleep(kRenamePause);
        }
    }

    void Kill(std::string path) override {
        if (!DeleteFileW(Win::FilePath(path).c_str())) Win::RaiseLastError("Kill");
    }

    std::string LogFolder() override { return "c:\\"; }

    void AppendToFile(std::string path, std::string bytes) override {
        // The log is kept in the narrow code page, as the files already written rely on it.
        const std::string narrow = Win::Narrow(bytes);
        const FileHandle file(CreateFileW(Win::FilePath(path).c_str(), FILE_APPEND_DATA,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) Win::RaiseLastError("AppendToFile");
        if (narrow.size() > static_cast<std::size_t>(LONG_MAX)) {
            Err::Raise(Err::kOverflow, Err::StandardText(Err::kOverflow));
        }
        DWORD written = 0;
        if (!WriteFile(file.Get(), narrow.data(), static_cast<DWORD>(narrow.size()), &written,
                       nullptr) ||
            written != narrow.size()) {
            Win::RaiseLastError("AppendToFile");
        }
    }

    void AppendToLog(std::string name, std::string bytes) override {
        // c:\ stays first, where administrators and scheduled tasks have always found the log.
        // A standard user may make no file there, so the line c:\ refuses goes to the user's
        // own folder, rather than being lost.
        try {
            AppendToFile(LogFolder() + name, bytes);
            return;
        } catch (const Err::Error&) {
        }
        const std::string folder = LocalAppData() + "\\Tolvane\\";
        // One that is there already is just as good; one that cannot be made fails below.
        CreateDirectoryW(Win::FilePath(folder).c_str(), nullptr);
        AppendToFile(folder + name, std::move(bytes));
    }
};

}  // namespace

std::unique_ptr<FileSystem> CreatePlatformInstance(Tag<FileSystem>) {
    return std::make_unique<Win32FileSystem>();
}

}  // namespace Components
