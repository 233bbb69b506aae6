#include "components/FileTools.h"

#include <cerrno>

#include "components/posix/PosixErrors.h"
#include "components/posix/PosixPaths.h"
#include "components/posix/SystemCalls.h"

namespace Components {

namespace {

// The errors that say no file stands under the path.
bool NamesNoFile(int error) {
    return error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG || error == ELOOP;
}

class PosixFileTools final : public FileTools {
  public:
    double FileSize(std::string path) override {
        if (path.empty()) return -1;
        struct stat status;
        if (Posix::Sys().Stat(path.c_str(), &status) != 0) {
            const int error = errno;
            // A link that leads nowhere, or round in a circle, still takes its name.
            if ((error == ENOENT || error == ELOOP) &&
                Posix::Sys().Lstat(path.c_str(), &status) == 0)
                return 0;
            if (NamesNoFile(error)) return -1;
            // A folder we may not look into could still hold the file; that is no answer.
            Posix::RaiseSystemError(error, "FileSize '" + path + "'");
        }
        // A folder, a FIFO or a device holds no database, whatever its size.
        if (!S_ISREG(status.st_mode)) return 0;
        return static_cast<double>(status.st_size);
    }

    std::string FolderOf(std::string path, std::int32_t) override {
        return Posix::FolderPart(path);
    }

    std::string PathWithoutExtension(std::string path) override {
        const std::size_t nameStart = path.size() - Posix::NamePart(path).size();
        const auto dot = path.rfind('.');
        // A dot that begins the name marks a hidden file, not an extension.
        if (dot == std::string::npos || dot <= nameStart) return path;
        return path.substr(0, dot);
    }
};

}  // namespace

std::unique_ptr<FileTools> CreatePlatformInstance(Tag<FileTools>) {
    return std::make_unique<PosixFileTools>();
}

}  // namespace Components
