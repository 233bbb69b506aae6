#include "components/FileSystem.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "components/CurrentError.h"
#include "components/posix/Descriptor.h"
#include "components/posix/FolderSync.h"
#include "components/posix/PosixErrors.h"
#include "components/posix/PosixPaths.h"
#include "components/posix/SystemCalls.h"
#include "general/qnGeneral.h"

namespace Components {

namespace {

using Posix::Quoted;
using Posix::Sys;

// Neither a rename that refuses to replace nor a second name (FAT, some FUSE and SMB mounts):
// the new name is first made ours with O_EXCL, which fails on a name that is taken, and only
// that empty placeholder is then replaced.
void RenameOverPlaceholder(const std::string& from, const std::string& to,
                           const std::string& what) {
    const int fd =
        Sys().Open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) Posix::RaiseSystemError(errno, what);
    Sys().Close(fd);
    if (Sys().Rename(from.c_str(), to.c_str()) != 0) {
        const int error = errno;
        Sys().Unlink(to.c_str());
        Posix::RaiseSystemError(error, what);
    }
}

// The file system cannot rename without replacing: a second name, then the first one
// removed. link() fails on an existing name, so nothing is ever replaced here either.
void RenameByLink(const std::string& from, const std::string& to, const std::string& what) {
    if (Sys().Link(from.c_str(), to.c_str()) != 0) {
        const int error = errno;
        // No hard links here at all, as opposed to a name that is taken.
        if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS) {
            return RenameOverPlaceholder(from, to, what);
        }
        Posix::RaiseSystemError(error, what);
    }
    if (Sys().Unlink(from.c_str()) != 0) {
        const int error = errno;
        // Two names for one file is a change; take the new one back.
        Sys().Unlink(to.c_str());
        Posix::RaiseSystemError(error, what);
    }
}

class PosixFileSystem final : public FileSystem {
  public:
    void Rename(std::string from, std::string to) override {
        const std::string what = "Rename " + Quoted(from) + " to " + Quoted(to);
        if (from.empty() || to.empty()) Posix::RaiseSystemError(ENOENT, what);
        if (Sys().RenameNoReplace(from.c_str(), to.c_str()) != 0) {
            const int error = errno;
            // EINVAL: the file system has no RENAME_NOREPLACE; ENOSYS: the kernel has none.
            if (error != EINVAL && error != ENOSYS) Posix::RaiseSystemError(error, what);
            RenameByLink(from, to, what);
        }
        // The rename has happened: a folder that cannot be synced is no failure of it.
        if (const int error = Posix::SyncFolderOf(to); error != 0) {
            qnGeneral::WriteLog("The folder of " + Quoted(to) + " could not be synced after " +
                                    what + " (" + Posix::SystemText(error) + ")",
                                -1, qnGeneral::kIndentNone);
        }
    }

    void Kill(std::string path) override {
        if (Sys().Unlink(path.c_str()) != 0) {
            Posix::RaiseSystemError(errno, "Kill " + Quoted(path));
        }
    }

    std::string LogFolder() override {
        const std::string state = Posix::XdgFolder("XDG_STATE_HOME", ".local/state");
        if (state.empty()) {
            Err::Raise(Err::kPathNotFound,
                       "LogFolder: neither XDG_STATE_HOME nor a home folder is known");
        }
        return state + "/tolvane/";
    }

    void AppendToFile(std::string path, std::string bytes) override {
        const std::string what = "AppendToFile " + Quoted(path);
        const std::string folder = Posix::FolderPart(path);
        // The log may tell which databases were touched, so its folders are the user's own.
        if (!folder.empty() && !Posix::MakeFolders(folder, 0700)) {
            Posix::RaiseSystemError(errno, what);
        }
        const int fd =
            Sys().Open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
        if (fd < 0) Posix::RaiseSystemError(errno, what);
        int failure = Posix::WriteAll(fd, bytes.data(), bytes.size());
        if (const int closed = Posix::CloseReporting(fd); failure == 0) failure = closed;
        if (failure != 0) Posix::RaiseSystemError(failure, what);
    }

    void AppendToLog(std::string name, std::string bytes) override {
        AppendToFile(LogFolder() + name, std::move(bytes));
    }
};

}  // namespace

std::unique_ptr<FileSystem> CreatePlatformInstance(Tag<FileSystem>) {
    return std::make_unique<PosixFileSystem>();
}

}  // namespace Components
