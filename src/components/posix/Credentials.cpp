// Passwords on Linux: for unattended runs a file of lines "<full path or pattern><TAB><password>"
// ("workgroup:<full path>:<user><TAB><password>" for a workgroup account),
// systemd's credential first where a unit gives one, else the user's own, which others must not
// be able to read; asked for, the password is read from the terminal without echo, or as one
// line of standard input where that is no terminal.
#include "components/Credentials.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>

#include "components/CurrentError.h"
#include "components/posix/Descriptor.h"
#include "components/posix/PosixErrors.h"
#include "components/posix/PosixPaths.h"
#include "components/posix/SystemCalls.h"

namespace Components {

namespace {

constexpr std::int32_t kPermissionDenied = 70;
constexpr std::size_t kLongestStore = 1 << 20;

std::string UserStore() {
    const std::string folder = Posix::XdgFolder("XDG_CONFIG_HOME", ".config");
    return folder.empty() ? std::string() : folder + "/tolvane/passwords";
}

std::string SystemdStore() {
    const char* folder = std::getenv("CREDENTIALS_DIRECTORY");
    return folder != nullptr && folder[0] == '/' ? std::string(folder) + "/tolvane-passwords"
                                                 : std::string();
}

// The store's text; nothing when there is no such file. `own`: the user's file, refused when
// its group or others may read it, as a private key is.
std::optional<std::string> ReadStore(const std::string& path, bool own) {
    if (path.empty()) return std::nullopt;
    const int fd = Posix::Sys().Open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        Err::Raise(kPermissionDenied, "The password store " + Posix::Quoted(path) +
                                          " cannot be read (" + Posix::SystemText(errno) + ")");
    }
    const Posix::Descriptor file(fd);
    struct stat status;
    if (Posix::Sys().Fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        Err::Raise(kPermissionDenied,
                   "The password store " + Posix::Quoted(path) + " is not a regular file");
    }
    if (own && (status.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        Err::Raise(kPermissionDenied,
                   "The password store " + Posix::Quoted(path) +
                       " may be read by others, so it is not used: make it yours alone (chmod "
                       "600 " +
                       Posix::Quoted(path) + ")");
    }
    std::string bytes(kLongestStore, '\0');
    int error = 0;
    bytes.resize(Posix::ReadFull(fd, bytes.data(), bytes.size(), -1, error));
    if (error != 0) {
        Err::Raise(kPermissionDenied, "The password store " + Posix::Quoted(path) +
                                          " cannot be read (" + Posix::SystemText(error) + ")");
    }
    return bytes;
}

// The line for the key itself first, else the first pattern that takes it where `patterns`.
std::optional<std::string> Find(const std::string& text, const std::string& database,
                                bool patterns) {
    std::optional<std::string> byPattern;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t tab = line.find('\t');
        if (line.empty() || line[0] == '#' || tab == std::string::npos) continue;
        const std::string key = line.substr(0, tab);
        if (key == database) return line.substr(tab + 1);
        if (patterns && !byPattern && fnmatch(key.c_str(), database.c_str(), FNM_PATHNAME) == 0) {
            byPattern = line.substr(tab + 1);
        }
    }
    return byPattern;
}

// Echo off for the one line, and on again however the reading ends.
struct NoEcho {
    termios saved{};
    bool set = false;
    NoEcho() {
        if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        set = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~NoEcho() {
        if (set) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    }
};

class FileCredentials final : public Credentials {
  public:
    std::optional<std::string> Stored(const PasswordOf& of) override {
        for (const bool own : {false, true}) {
            const auto text = ReadStore(own ? UserStore() : SystemdStore(), own);
            if (!text) continue;
            if (auto password = Find(*text, of.Key(), !of.Account())) return password;
        }
        return std::nullopt;
    }

    std::optional<Answer> Ask(const PasswordOf& of, bool again) override {
        if (again) {
            std::cout << (of.Account() ? "Not a valid account name or password.\n"
                                       : "Not a valid password.\n");
        }
        std::cout << "Password for "
                  << (of.Account() ? "user " + Posix::Quoted(of.User) + " of the workgroup " : "")
                  << Posix::Quoted(of.Path) << ": " << std::flush;
        Answer answer;
        bool read = false;
        {
            const NoEcho quiet;
            read = static_cast<bool>(std::getline(std::cin, answer.Password));
        }
        std::cout << "\n" << std::flush;
        if (!read || answer.Password.empty()) return std::nullopt;
        return answer;
    }

    // Nothing is offered to remember: the user keeps the store.
    void Remember(const PasswordOf&, const std::string&) override {}

    std::string WhereToStore(const PasswordOf& of) override {
        return "store it as a line '" + of.Key() + "<TAB><password>' in " +
               Posix::Quoted(UserStore()) + ", readable by you alone (chmod 600)";
    }
};

}  // namespace

std::unique_ptr<Credentials> CreatePlatformInstance(Tag<Credentials>) {
    return std::make_unique<FileCredentials>();
}

}  // namespace Components
