#include "components/posix/TypedPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "components/posix/PosixPaths.h"
#include "components/posix/SystemCalls.h"

namespace Components::Posix {

namespace {

// The full path of what was typed: "~/" is the home folder, and a relative path is
// taken in `folder` (the working folder when empty), as a dialog started there would take
// it. Nothing else changes: spaces at either end belong to the name.
std::string FullPath(std::string typed, std::string folder) {
    if (typed == "~" || typed.starts_with("~/")) {
        const std::string home = HomeFolder();
        if (!home.empty()) typed = home + typed.substr(1);
    }
    if (typed.front() == '/') return typed;
    if (folder.empty()) {
        char* working = ::getcwd(nullptr, 0);
        if (working == nullptr) return typed;
        folder = working;
        std::free(working);
    }
    if (folder.back() != '/') folder += '/';
    return folder + typed;
}

// The file a symbolic link leads to, as the Windows dialog dereferences a shortcut: the
// compaction then happens beside the database itself and the link still leads to it. Only
// the last part is followed; the folders stay as typed.
std::string FollowLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {  // the kernel's own limit on a chain of links
        struct stat status;
        if (Sys().Lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
        // Some file systems give a link no size; a path is never longer than PATH_MAX.
        std::string target(status.st_size > 0 ? status.st_size + 1 : PATH_MAX, '\0');
        const ssize_t length = Sys().Readlink(path.c_str(), target.data(), target.size());
        // Empty, or changed since the lstat: what is there is what the user typed.
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) break;
        target.resize(static_cast<std::size_t>(length));
        path = target.front() == '/' ? target : FolderPart(path) + target;
    }
    return path;
}

}  // namespace

std::string TypedPath(const std::string& typed, const std::string& folder) {
    if (typed.empty()) return typed;
    return FollowLinks(FullPath(typed, folder));
}

}  // namespace Components::Posix
