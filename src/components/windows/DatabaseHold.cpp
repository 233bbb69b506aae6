// The database held by a handle that lets others read but not write. It shares delete, so the
// program's own renames still go through while it is held.
#include "components/DatabaseHold.h"

#include "components/windows/Win32.h"

#include <cstdio>

#include "components/CurrentError.h"
#include "components/EngineErrors.h"
#include "components/windows/WinErrors.h"
#include "components/windows/WinPaths.h"

namespace Components {

namespace {

std::int64_t Ticks(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}

class Win32DatabaseHold final : public DatabaseHold {
  public:
    FileState State(std::string path) override {
        // No access asked for: sharing does not apply, so a held or open file can be asked.
        const HANDLE file = CreateFileW(Win::FilePath(path).c_str(), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) Win::RaiseLastError("FileState '" + path + "'");
        BY_HANDLE_FILE_INFORMATION info;
        const bool asked = GetFileInformationByHandle(file, &info);
        const DWORD error = GetLastError();
        CloseHandle(file);
        if (!asked) {
            SetLastError(error);
            Win::RaiseLastError("FileState '" + path + "'");
        }
        char identity[32];
        std::snprintf(identity, sizeof identity, "%08lX:%08lX%08lX",
                      static_cast<unsigned long>(info.dwVolumeSerialNumber),
                      static_cast<unsigned long>(info.nFileIndexHigh),
                      static_cast<unsigned long>(info.nFileIndexLow));
        return {identity,
                (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
                Ticks(info.ftLastWriteTime), static_cast<std::uint32_t>(info.nNumberOfLinks)};
    }

    void Hold(std::string path) override {
        if (file_ != INVALID_HANDLE_VALUE && path == path_) return;
        Release();
        const HANDLE file = CreateFileW(Win::FilePath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error != ERROR_SHARING_VIOLATION) Win::RaiseLastError("Hold '" + path + "'");
            // Someone has it open for writing: the engine's word for that.
            Err::Current().LastDllError = error;
            Err::Raise(kEngineFileInUse, InUseDescription(path) + ".");
        }
        file_ = file;
        path_ = path;
    }

    void Release() override {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        path_.clear();
    }

    ~Win32DatabaseHold() override { Release(); }

  private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::string path_;
};

}  // namespace

std::unique_ptr<DatabaseHold> CreatePlatformInstance(Tag<DatabaseHold>) {
    return std::make_unique<Win32DatabaseHold>();
}

}  // namespace Components
