#include "fault/FaultInjection.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>

#include "components/posix/SystemCalls.h"
#include "support/WholeRun.h"

namespace FaultInjection {

namespace {

using Components::Posix::Sys;
using Components::Posix::SystemCalls;

SystemCalls below;
long failAt = 0;
int error = 0;
// The copy is made on a thread of its own beside the database's walk, so calls are counted on
// one side only, the installer's thread for a positive `failAt` and the other for a negative:
// each side's calls come in the same order on every run, whatever the two threads' pace.
std::thread::id installer;
std::atomic<long> calls = 0;
std::atomic<bool> fired = false;
bool lasting = false;

// True when this call is the one to fail, or a later one on a dead disk; it never returns when
// it is the one to crash, and the power goes first.
bool Trip() {
    if (failAt == 0) return false;
    if ((std::this_thread::get_id() == installer) == (failAt > 0) && ++calls == std::abs(failAt)) {
        fired = true;
        if (error == 0) PowerCut(), ::raise(SIGKILL);
        return true;
    }
    return lasting && fired;
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

// --- above the faults: what the disk holds, and the files planted ------------------------

using Id = std::pair<dev_t, ino_t>;

SystemCalls faulty;
std::string cutFolder, cutInto, plantSuffix, plantBytes;
Id folder;
std::mutex disk;                   // what the disk holds, taken by both threads' calls
std::map<std::string, Id> names;   // the folder's, as at its last sync or before the run
std::map<Id, std::string> onDisk;  // each file's bytes, as at its last sync or before the run;
                                   // none for a file made since and never synced

Id IdOf(const struct stat& s) { return {s.st_dev, s.st_ino}; }

// The folder's names as they are now go to disk.
void SyncFolder() {
    struct stat s;
    const std::lock_guard held(disk);
    names.clear();
    for (const auto& entry : std::filesystem::directory_iterator(cutFolder)) {
        if (::lstat(entry.path().c_str(), &s) == 0) names[entry.path().filename()] = IdOf(s);
    }
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

// The program takes a sync of a folder that is refused, or an open of it for one, as done (it
// can do no more), and so is it taken here.
int WatchedOpen(const char* path, int flags, mode_t mode) {
    if ((flags & O_CREAT) != 0) Plant(path);
    const int fd = faulty.Open(path, flags, mode);
    struct stat s;
    if (fd < 0 && (flags & O_TMPFILE) == O_DIRECTORY && ::stat(path, &s) == 0 &&
        IdOf(s) == folder) {
        SyncFolder();
    }
    return fd;
}
int WatchedFsync(int fd) {
    const int result = faulty.Fsync(fd);
    struct stat s;
    if (::fstat(fd, &s) != 0) return result;
    if (IdOf(s) == folder) SyncFolder();
    const std::lock_guard held(disk);
    if (result == 0 && S_ISREG(s.st_mode))
        onDisk[IdOf(s)] = WholeRun::ReadFile("/proc/self/fd/" + std::to_string(fd));
    return result;
}
int WatchedLink(const char* from, const char* to) { return Plant(to), faulty.Link(from, to); }
int WatchedLinkAt(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
    Plant(to);
    return faulty.LinkAt(fromFolder, from, toFolder, to, flags);
}
int WatchedRenameNoReplace(const char* from, const char* to) {
    return Plant(to), faulty.RenameNoReplace(from, to);
}

}  // namespace

void Install(long at, int errorNumber, bool fromThenOn) {
    SystemCalls& table = Sys();
    below = table;
    failAt = at;
    installer = std::this_thread::get_id();
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
    faulty = table;
    table.Open = WatchedOpen;
    table.Fsync = WatchedFsync;
    table.Link = WatchedLink;
    table.LinkAt = WatchedLinkAt;
    table.RenameNoReplace = WatchedRenameNoReplace;
    static_assert(sizeof(SystemCalls) == 26 * sizeof(void*), "an entry is not routed");
}

bool Fired() { return fired; }

void CutsShow(const std::string& watched, const std::string& into) {
    struct stat s;
    cutFolder = watched;
    cutInto = into;
    folder = ::stat(watched.c_str(), &s) == 0 ? IdOf(s) : Id{};
    SyncFolder();
    for (const auto& [name, id] : names) onDisk[id] = WholeRun::ReadFile(watched + "/" + name);
}
void PowerCut() {
    const std::lock_guard held(disk);
    std::ofstream out(cutInto, std::ios::binary | std::ios::trunc);
    for (const auto& [name, id] : names) {
        out << name << ' ' << id.second << ' ' << onDisk[id].size() << '\n' << onDisk[id];
    }
}

std::map<std::string, File> Cut(const std::string& into) {
    std::map<std::string, File> files;
    std::istringstream in(WholeRun::ReadFile(into));
    std::string name;
    File file;
    for (std::size_t size; in >> name >> file.inode >> size && in.get() == '\n';) {
        file.bytes.resize(size);
        in.read(file.bytes.data(), size);
        files[name] = file;
    }
    return files;
}

void PlantBefore(const std::string& suffix, const std::string& bytes) {
    plantSuffix = suffix;
    plantBytes = bytes;
}

}  // namespace FaultInjection
