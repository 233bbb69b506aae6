#include "components/posix/FolderSync.h"

#include <fcntl.h>

#include "components/posix/Descriptor.h"
#include "components/posix/PosixPaths.h"

namespace Components::Posix {

int SyncFolderOf(const std::string& path) {
    std::string folder = FolderPart(path);
    if (folder.empty()) folder = ".";
    const Descriptor fd(OpenRetried(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() < 0) return 0;
    if (Retried([&] { return Sys().Fsync(fd.Get()); }) == 0) return 0;
    return errno == EINVAL || errno == EROFS ? 0 : errno;
}

}  // namespace Components::Posix
