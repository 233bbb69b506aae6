#include "components/FileTools.h"

#include "components/windows/Win32.h"

#include "components/windows/WinErrors.h"
#include "components/windows/WinPaths.h"

namespace Components {

namespace {

bool NamesNoFile(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:  // wildcards, as in a dialog's "*.MDB"
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_NOT_READY:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_DIRECTORY:
            return true;
        default:
            return false;
    }
}

std::size_t FileNameStart(const std::string& path) {
    const auto separator = path.find_last_of("\\/");
    return separator == std::string::npos ? 0 : separator + 1;
}

class Win32FileTools final : public FileTools {
  public:
    double FileSize(std::string path) override {
        if (path.empty()) return -1;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(Win::FilePath(path).c_str(), GetFileExInfoStandard, &data)) {
            if (NamesNoFile(GetLastError())) return -1;
            Win::RaiseLastError("FileSize");
        }
        // A folder holds no database, but it takes its name. A link is described by its own
        // attributes, not its target's, so one leading nowhere takes its name too.
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
        return static_cast<double>((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) |
                                   data.nFileSizeLow);
    }

    std::string FolderOf(std::string path, std::int32_t) override {
        return path.substr(0, FileNameStart(path));
    }

    std::string PathWithoutExtension(std::string path) override {
        const auto dot = path.rfind('.');
        if (dot == std::string::npos || dot < FileNameStart(path)) return path;
        return path.substr(0, dot);
    }
};

}  // namespace

std::unique_ptr<FileTools> CreatePlatformInstance(Tag<FileTools>) {
    return std::make_unique<Win32FileTools>();
}

}  // namespace Components
