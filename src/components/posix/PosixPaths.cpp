#include "components/posix/PosixPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "components/posix/SystemCalls.h"

namespace Components::Posix {

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return "";
}

std::string XdgFolder(const char* variable, const char* underHome) {
    // The XDG rules: a relative path in the variable is to be ignored.
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return value;
    const std::string home = HomeFolder();
    if (home.empty()) return "";
    return home + (home.back() == '/' ? "" : "/") + underHome;
}

std::string FolderPart(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string NamePart(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool MakeFolders(const std::string& folder, unsigned mode) {
    std::string path;
    std::size_t at = 0;
    while (at < folder.size()) {
        const std::size_t slash = folder.find('/', at);
        const std::size_t end = slash == std::string::npos ? folder.size() : slash;
        path = folder.substr(0, end);
        at = end + 1;
        if (path.empty() || path == "." || path == "..") continue;
        if (Sys().Mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0 || errno == EEXIST) continue;
        // A folder we may not create may still be there (a read-only or foreign parent).
        const int error = errno;
        struct stat status;
        if (Sys().Stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) continue;
        errno = error;
        return false;
    }
    // The last one may exist as something other than a folder.
    struct stat status;
    if (!folder.empty() && Sys().Stat(folder.c_str(), &status) == 0 && !S_ISDIR(status.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

}  // namespace Components::Posix
