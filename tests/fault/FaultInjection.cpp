#include "fault/FaultInjection.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <string>
#include <type_traits>
#include <utility>

#include "components/posix/SystemCalls.h"

namespace FaultInjection {

namespace {

using Components::Posix::Sys;
using Components::Posix::SystemCalls;

SystemCalls below;
long failAt = 0;
int error = 0;
long calls = 0;
bool fired = false;
bool lasting = false;

// True when this call is the one to fail; it never returns when it is the one to crash.
bool Trip() {
    ++calls;
    if (failAt == 0 || calls < failAt || (calls > failAt && !lasting)) return false;
    fired = true;
    if (error == 0) ::raise(SIGKILL);
    return true;
}

template <auto Entry>
constexpr bool IsClose() {
    if constexpr (std::is_same_v<decltype(Entry), decltype(&SystemCalls::Close)>) {
        return Entry == &SystemCalls::Close;
    }
    return false;
}

template <auto Entry, class Signature>
struct Wrap;

template <auto Entry, class Result, class... Arguments>
struct Wrap<Entry, Result (*)(Arguments...)> {
    static Result Call(Arguments... arguments) {
        if (!Trip()) return (below.*Entry)(arguments...);
        // close() lets go of the descriptor even when it reports an error.
        if constexpr (IsClose<Entry>()) (below.*Entry)(arguments...);
        errno = error;
        return static_cast<Result>(-1);
    }
};

template <auto... Entries>
void Route(SystemCalls& table) {
    ((table.*Entries = &Wrap<Entries, std::remove_reference_t<decltype(below.*Entries)>>::Call),
     ...);
}

// --- below the faults: the names given to unsynced files, and the files planted ----------

SystemCalls real;
std::set<std::pair<dev_t, ino_t>> unsynced;  // files written to since their last good fsync
std::string namedUnsynced, plantSuffix, plantBytes;

std::pair<dev_t, ino_t> Id(const struct stat& s) { return {s.st_dev, s.st_ino}; }

void Written(int fd) {
    struct stat s;
    if (::fstat(fd, &s) == 0) unsynced.insert(Id(s));
}

// Someone else's file under `to`, the first time a call would make one under such a name.
void Plant(const char* to) {
    if (plantSuffix.empty() || !std::string(to).ends_with(plantSuffix)) return;
    plantSuffix.clear();
    const int fd = ::open(to, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0 || ::write(fd, plantBytes.data(), plantBytes.size()) < 0 || ::close(fd) != 0) {
        _exit(125);
    }
}

// The result of a call that would give the name `to` to a file: when it did, whether that
// file holds bytes not yet on disk.
int Named(int result, const char* to) {
    struct stat s;
    if (result == 0 && namedUnsynced.empty() && ::lstat(to, &s) == 0 && unsynced.contains(Id(s))) {
        namedUnsynced = to;
    }
    return result;
}

int WatchedOpen(const char* path, int flags, mode_t mode) {
    if ((flags & O_CREAT) != 0) Plant(path);
    return real.Open(path, flags, mode);
}
ssize_t WatchedWrite(int fd, const void* buffer, std::size_t count) {
    const ssize_t n = real.Write(fd, buffer, count);
    if (n > 0) Written(fd);
    return n;
}
ssize_t WatchedCopyFileRange(int in, int out, std::size_t count) {
    const ssize_t n = real.CopyFileRange(in, out, count);
    if (n > 0) Written(out);
    return n;
}
int WatchedFsync(int fd) {
    struct stat s;
    const int result = real.Fsync(fd);
    if (result == 0 && ::fstat(fd, &s) == 0) unsynced.erase(Id(s));
    return result;
}
int WatchedLink(const char* from, const char* to) {
    Plant(to);
    return Named(real.Link(from, to), to);
}
int WatchedLinkAt(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
    Plant(to);
    return Named(real.LinkAt(fromFolder, from, toFolder, to, flags), to);
}
int WatchedRenameNoReplace(const char* from, const char* to) {
    Plant(to);
    return Named(real.RenameNoReplace(from, to), to);
}

}  // namespace

void Install(long at, int errorNumber, bool fromThenOn) {
    SystemCalls& table = Sys();
    real = table;
    table.Open = WatchedOpen;
    table.Write = WatchedWrite;
    table.CopyFileRange = WatchedCopyFileRange;
    table.Fsync = WatchedFsync;
    table.Link = WatchedLink;
    table.LinkAt = WatchedLinkAt;
    table.RenameNoReplace = WatchedRenameNoReplace;
    below = table;
    failAt = at;
    error = errorNumber;
    calls = 0;
    fired = false;
    lasting = fromThenOn;
    Route<&SystemCalls::Open, &SystemCalls::Close, &SystemCalls::Read, &SystemCalls::Pread,
          &SystemCalls::Write, &SystemCalls::CopyFileRange, &SystemCalls::Stat, &SystemCalls::Lstat,
          &SystemCalls::Readlink, &SystemCalls::Fstat, &SystemCalls::Fsync, &SystemCalls::Fchmod,
          &SystemCalls::Fchown, &SystemCalls::Flock, &SystemCalls::Fcntl, &SystemCalls::Unlink,
          &SystemCalls::Link, &SystemCalls::LinkAt, &SystemCalls::RenameNoReplace,
          &SystemCalls::Rename, &SystemCalls::Mkdir, &SystemCalls::Statvfs, &SystemCalls::ListXattr,
          &SystemCalls::GetXattr, &SystemCalls::FsetXattr, &SystemCalls::FremoveXattr>(table);
    static_assert(sizeof(SystemCalls) == 26 * sizeof(void*), "an entry is not routed");
}

bool Fired() { return fired; }
std::string NamedUnsynced() { return namedUnsynced; }

void PlantBefore(const std::string& suffix, const std::string& bytes) {
    plantSuffix = suffix;
    plantBytes = bytes;
}

}  // namespace FaultInjection
