// The database's access rules given to its compacted copy: the group and the ACL first, as
// they may shut people out; the permission bits last, as a change of owner or group clears
// some of them and a new ACL resets others.
#include "components/AccessRules.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "components/CurrentError.h"
#include "components/posix/PosixErrors.h"
#include "components/posix/PosixPaths.h"
#include "components/posix/SystemCalls.h"

namespace Components {

namespace {

using Posix::Quoted;
using Posix::Sys;

constexpr const char* kAcl = "system.posix_acl_access";

// Raises the program's error for errno, with `what` went wrong as its description.
[[noreturn]] void Refuse(const std::string& what) {
    const int error = errno;
    Err::Current().LastDllError = error;
    Err::Raise(Posix::ErrorNumberFor(error), what + " (" + Posix::SystemText(error) + ")");
}

std::string UserName(uid_t uid) {
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    const std::string number = "uid " + std::to_string(uid);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
        return number;
    }
    return std::string(found->pw_name) + " (" + number + ")";
}

// The names of the database's extended attributes, each ending in NUL; empty where the file
// system keeps none.
std::string AttributeNames(const std::string& database) {
    for (;;) {
        const ssize_t size = Sys().ListXattr(database.c_str(), nullptr, 0);
        if (size < 0 && (errno == ENOTSUP || errno == EOPNOTSUPP)) return {};
        std::string names(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
        const ssize_t got =
            size < 0 ? size : Sys().ListXattr(database.c_str(), names.data(), names.size());
        if (got >= 0) return names.substr(0, static_cast<std::size_t>(got));
        if (errno != ERANGE) {
            Refuse("the extended attributes of " + Quoted(database) + " cannot be read");
        }
    }
}

// The value, or nothing when the attribute went away since it was listed.
bool AttributeValue(const std::string& database, const char* name, std::string& value) {
    for (;;) {
        const ssize_t size = Sys().GetXattr(database.c_str(), name, nullptr, 0);
        value.assign(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
        const ssize_t got =
            size < 0 ? size : Sys().GetXattr(database.c_str(), name, value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno == ENODATA) return false;
        if (errno != ERANGE) {
            Refuse("the attribute " + std::string(name) + " of " + Quoted(database) +
                   " cannot be read");
        }
    }
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) Sys().Close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

class PosixAccessRules final : public AccessRules {
  public:
    std::string CarryOver(std::string database, std::string copy) override {
        struct stat rules {};
        if (Sys().Stat(database.c_str(), &rules) != 0) {
            Refuse(Quoted(database) + " cannot be looked at");
        }
        const Descriptor fd(
            Sys().Open(copy.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0));
        struct stat now {};
        if (fd.Get() < 0 || Sys().Fstat(fd.Get(), &now) != 0) {
            Refuse(Quoted(copy) + " cannot be opened");
        }
        const auto refuse = [&](const std::string& what) {
            Refuse(what + " cannot be given to " + Quoted(copy));
        };

        if (now.st_gid != rules.st_gid &&
            Sys().Fchown(fd.Get(), static_cast<uid_t>(-1), rules.st_gid) != 0) {
            refuse("the group " + std::to_string(rules.st_gid));
        }
        // Only a privileged process gives a file away; anyone may keep what they made.
        std::string unreached;
        uid_t owner = rules.st_uid;
        if (now.st_uid != rules.st_uid &&
            Sys().Fchown(fd.Get(), rules.st_uid, static_cast<gid_t>(-1)) != 0) {
            unreached = "the owner " + UserName(rules.st_uid);
            owner = now.st_uid;
        }

        const std::string names = AttributeNames(database);
        bool hasAcl = false;
        for (std::size_t at = 0, end; at < names.size(); at = end + 1) {
            end = std::min(names.find('\0', at), names.size());
            const std::string name = names.substr(at, end - at);
            std::string value;
            if (!AttributeValue(database, name.c_str(), value)) continue;
            hasAcl = hasAcl || name == kAcl;
            if (Sys().FsetXattr(fd.Get(), name.c_str(), value.data(), value.size(), 0) == 0)
                continue;
            if (name.starts_with("system.posix_acl")) refuse("the ACL");
            unreached += (unreached.empty() ? "the attribute " : ", the attribute ") + name;
        }
        // An ACL the copy took from its folder's defaults would let in more than the database.
        if (!hasAcl && Sys().FremoveXattr(fd.Get(), kAcl) != 0 && errno != ENODATA &&
            errno != ENOTSUP && errno != EOPNOTSUPP) {
            Refuse("the ACL its folder gave " + Quoted(copy) + " cannot be taken off");
        }
        // Some file servers refuse every chmod; bits that are already right need none.
        if (Sys().Fchmod(fd.Get(), rules.st_mode & 07777) != 0) {
            const int error = errno;
            struct stat copied {};
            if (Sys().Fstat(fd.Get(), &copied) != 0 ||
                (copied.st_mode & 07777) != (rules.st_mode & 07777)) {
                errno = error;
                refuse("the permission bits");
            }
        }

        if (unreached.empty()) return {};
        return "The compacted copy " + Quoted(copy) + " could not be given " + unreached + " of " +
               Quoted(database) + "; it is owned by " + UserName(owner) + ".";
    }
};

}  // namespace

std::unique_ptr<AccessRules> CreatePlatformInstance(Tag<AccessRules>) {
    return std::make_unique<PosixAccessRules>();
}

}  // namespace Components
