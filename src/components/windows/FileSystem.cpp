#include "components/FileSystem.h"

#include "components/windows/Win32.h"

#include <climits>

#include "components/CurrentError.h"
#include "components/windows/WinErrors.h"
#include "components/windows/WinText.h"

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

class Win32FileSystem final : public FileSystem {
  public:
    void Rename(std::string from, std::string to) override {
        // No MOVEFILE_REPLACE_EXISTING: a backup or the database must never be overwritten.
        // Write-through, so the database's name does not point at a copy still in the cache.
        if (!MoveFileExW(Win::Wide(from).c_str(), Win::Wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
            Win::RaiseLastError("Rename");
        }
    }

    void Kill(std::string path) override {
        if (!DeleteFileW(Win::Wide(path).c_str())) Win::RaiseLastError("Kill");
    }

    std::string LogFolder() override { return "c:\\"; }

    void AppendToFile(std::string path, std::string bytes) override {
        // The log is kept in the narrow code page, as the files already written rely on it.
        const std::string narrow = Win::Narrow(bytes);
        const FileHandle file(CreateFileW(Win::Wide(path).c_str(), FILE_APPEND_DATA,
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
};

}  // namespace

std::unique_ptr<FileSystem> CreatePlatformInstance(Tag<FileSystem>) {
    return std::make_unique<Win32FileSystem>();
}

}  // namespace Components
