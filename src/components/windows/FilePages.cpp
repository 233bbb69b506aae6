#include "components/windows/FilePages.h"

#include <algorithm>

#include "components/CurrentError.h"
#include "components/windows/Win32.h"
#include "components/windows/WinErrors.h"
#include "components/windows/WinPaths.h"

namespace Components::Win {

namespace {

class FilePages final : public Jet::PageSource {
  public:
    FilePages(HANDLE file, std::uint64_t size) : file_(file), size_(size) {}
    ~FilePages() override { CloseHandle(file_); }
    FilePages(const FilePages&) = delete;
    FilePages& operator=(const FilePages&) = delete;
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        for (std::size_t have = 0; have < out.size();) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset + have);
            at.OffsetHigh = static_cast<DWORD>((offset + have) >> 32);
            const DWORD want =
                static_cast<DWORD>(std::min<std::size_t>(out.size() - have, 1 << 20));
            DWORD got = 0;
            if (!ReadFile(file_, out.data() + have, want, &got, &at) || got == 0) return false;
            have += got;
        }
        return true;
    }

  private:
    HANDLE file_;
    std::uint64_t size_;
};

}  // namespace

std::unique_ptr<Jet::PageSource> OpenFilePages(const std::string& path) {
    const HANDLE file = CreateFileW(FilePath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) RaiseLastError("Cannot open '" + path + "'");
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        Err::Raise(75, "Cannot open '" + path + "': it is not a regular file.");
    }
    return std::make_unique<FilePages>(file, static_cast<std::uint64_t>(size.QuadPart));
}

}  // namespace Components::Win
