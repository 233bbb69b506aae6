// Whether a database is in use, asked as Windows answers it: an open that shares nothing is
// refused while anyone, here or on another computer through a file share, has it open.
#include "components/DatabaseUse.h"

#include "components/windows/Win32.h"

#include <climits>

#include "components/windows/WinPaths.h"
#include "components/windows/WinText.h"

namespace Components {

namespace {

class Win32DatabaseUse final : public DatabaseUse {
  public:
    bool InUse(std::string path) override {
        const HANDLE file = CreateFileW(Win::FilePath(path).c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        }
        CloseHandle(file);
        return false;
    }

    std::string ReadStart(std::string path, std::size_t limit) override {
        const HANDLE file = CreateFileW(Win::FilePath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return {};
        std::string bytes(std::min<std::size_t>(limit, INT_MAX), '\0');
        std::size_t have = 0;
        DWORD got = 0;
        while (have < bytes.size() &&
               ReadFile(file, bytes.data() + have, static_cast<DWORD>(bytes.size() - have), &got,
                        nullptr) &&
               got > 0) {
            have += got;
        }
        CloseHandle(file);
        bytes.resize(have);
        return bytes;
    }

    std::string FromNarrow(std::string bytes) override {
        if (bytes.empty() || bytes.size() > INT_MAX) return {};
        const int size = static_cast<int>(bytes.size());
        const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), n);
        return Win::Utf8(wide);
    }
};

}  // namespace

std::unique_ptr<DatabaseUse> CreatePlatformInstance(Tag<DatabaseUse>) {
    return std::make_unique<Win32DatabaseUse>();
}

}  // namespace Components
