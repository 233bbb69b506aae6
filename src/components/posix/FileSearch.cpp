#include "components/FileSearch.h"

#include <dirent.h>
#include <fnmatch.h>

#include <cerrno>

#include "components/posix/PosixErrors.h"
#include "components/posix/SystemCalls.h"

namespace Components {

namespace {

class PosixFileSearch final : public FileSearch {
  public:
    std::vector<FolderEntry> Entries(std::string folder) override {
        DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
        if (!listing) Posix::RaiseSystemError(errno, "Entries '" + folder + "'");
        std::vector<FolderEntry> entries;
        const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
        errno = 0;
        while (const dirent* entry = ::readdir(listing)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            struct stat status {};
            FolderEntry found{name, prefix + name, false, false, 0};
            // Looked at without following: a link is neither, whatever it leads to.
            if (Posix::Sys().Lstat((prefix + name).c_str(), &status) == 0) {
                found.IsFile = S_ISREG(status.st_mode);
                found.IsFolder = S_ISDIR(status.st_mode);
                found.LastWrite = static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 +
                                  status.st_mtim.tv_nsec;
            }
            entries.push_back(found);
            errno = 0;
        }
        const int error = errno;
        ::closedir(listing);
        if (error != 0) Posix::RaiseSystemError(error, "Entries '" + folder + "'");
        return entries;
    }

    bool IsFolder(std::string path) override {
        struct stat status {};
        return Posix::Sys().Stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    }

    // As the shell's own patterns match: a leading dot is matched only by a dot.
    bool Matches(std::string name, std::string pattern) override {
        return ::fnmatch(pattern.c_str(), name.c_str(), FNM_PERIOD) == 0;
    }

    bool SameName(std::string a, std::string b) override { return a == b; }
};

}  // namespace

std::unique_ptr<FileSearch> CreatePlatformInstance(Tag<FileSearch>) {
    return std::make_unique<PosixFileSearch>();
}

}  // namespace Components
