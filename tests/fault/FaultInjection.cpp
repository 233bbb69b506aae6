#include "fault/FaultInjection.h"

#include <signal.h>

#include <cerrno>
#include <type_traits>

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

template <auto Entry>
void Route(SystemCalls& table) {
    table.*Entry = &Wrap<Entry, std::remove_reference_t<decltype(below.*Entry)>>::Call;
}

}  // namespace

void Install(long at, int errorNumber, bool fromThenOn) {
    below = Sys();
    failAt = at;
    error = errorNumber;
    calls = 0;
    fired = false;
    lasting = fromThenOn;
    SystemCalls& table = Sys();
    Route<&SystemCalls::Open>(table);
    Route<&SystemCalls::Close>(table);
    Route<&SystemCalls::Read>(table);
    Route<&SystemCalls::Pread>(table);
    Route<&SystemCalls::Write>(table);
    Route<&SystemCalls::CopyFileRange>(table);
    Route<&SystemCalls::Stat>(table);
    Route<&SystemCalls::Lstat>(table);
    Route<&SystemCalls::Readlink>(table);
    Route<&SystemCalls::Fstat>(table);
    Route<&SystemCalls::Fsync>(table);
    Route<&SystemCalls::Fchmod>(table);
    Route<&SystemCalls::Fchown>(table);
    Route<&SystemCalls::Flock>(table);
    Route<&SystemCalls::Fcntl>(table);
    Route<&SystemCalls::Unlink>(table);
    Route<&SystemCalls::Link>(table);
    Route<&SystemCalls::LinkAt>(table);
    Route<&SystemCalls::RenameNoReplace>(table);
    Route<&SystemCalls::Rename>(table);
    Route<&SystemCalls::Mkdir>(table);
    Route<&SystemCalls::Statvfs>(table);
    Route<&SystemCalls::ListXattr>(table);
    Route<&SystemCalls::GetXattr>(table);
    Route<&SystemCalls::FsetXattr>(table);
    Route<&SystemCalls::FremoveXattr>(table);
    static_assert(sizeof(SystemCalls) == 26 * sizeof(void*), "an entry is not routed");
}

long Calls() { return calls; }
bool Fired() { return fired; }

}  // namespace FaultInjection
