#include "components/windows/HeldCopy.h"

#include <exception>
#include <memory>
#include <utility>

#include "components/windows/Win32.h"

#include "components/CurrentError.h"
#include "components/EngineErrors.h"
#include "components/jet/CopyProof.h"
#include "components/jet/HeaderPassword.h"
#include "components/windows/FilePages.h"
#include "components/windows/WinErrors.h"
#include "components/windows/WinPaths.h"

namespace Components::Win {

namespace {

// A file that cannot even be opened reads as unreadable, and leaves no error behind: then
// there are no pages to walk.
std::unique_ptr<Jet::PageSource> OpenPages(const std::string& path, Jet::CheckReport& report) {
    const Err::CurrentErrorRecord before = Err::Current();
    try {
        return OpenFilePages(path);
    } catch (const Err::Error& error) {
        Err::Current() = before;
        report.Outcome = Jet::Verdict::kUnreadable;
        report.Finding = error.Description();
        return nullptr;
    }
}

struct Walk {
    const Jet::PageSource* pages;
    Jet::CheckReport report;
    std::exception_ptr raised;
};

DWORD WINAPI RunWalk(void* argument) {
    Walk& walk = *static_cast<Walk*>(argument);
    try {
        walk.report = Jet::CheckDatabase(*walk.pages);
    } catch (...) {
        walk.raised = std::current_exception();
    }
    return 0;
}

// The engine is done with both files, so the two walks prove the same side by side as one
// after the other; on two cores, and from a file share that serves two reads at once, they
// take the time of the longer. The walks touch nothing but their own file and report.
std::pair<Jet::CheckReport, Jet::CheckReport> CheckBoth(const std::string& source,
                                                        const std::string& copy) {
    Walk walks[2];
    const std::unique_ptr<Jet::PageSource> pages[2] = {OpenPages(source, walks[0].report),
                                                       OpenPages(copy, walks[1].report)};
    walks[0].pages = pages[0].get(), walks[1].pages = pages[1].get();
    const HANDLE beside =
        walks[0].pages ? CreateThread(nullptr, 0, &RunWalk, &walks[0], 0, nullptr) : nullptr;
    if (walks[0].pages && !beside) RunWalk(&walks[0]);  // no thread to be had: one, then the other
    if (walks[1].pages) RunWalk(&walks[1]);
    if (beside) {
        WaitForSingleObject(beside, INFINITE);
        CloseHandle(beside);
    }
    for (const Walk& walk : walks) {
        if (walk.raised) std::rethrow_exception(walk.raised);
    }
    return {std::move(walks[0].report), std::move(walks[1].report)};
}

// Unreadable reads as no database, which a source with a password never is.
Jet::HeaderSecret ReadSecret(const std::string& path) {
    const Err::CurrentErrorRecord before = Err::Current();
    try {
        return Jet::ReadHeaderSecret(*OpenFilePages(path));
    } catch (const Err::Error&) {
        Err::Current() = before;
        return {};
    }
}

// The engine leaves its copy to the cache, and a rename makes nothing durable: after a power
// cut the database's name could lead to data that never reached the disk. Opened for writing
// now, before the copy is given the database's access rules, which may deny this account that.
void FlushToDisk(const std::string& path) {
    const HANDLE file = CreateFileW(FilePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) RaiseLastError("FlushFileBuffers '" + path + "'");
    const bool flushed = FlushFileBuffers(file);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!flushed) {
        SetLastError(error);
        RaiseLastError("FlushFileBuffers '" + path + "'");
    }
}

}  // namespace

std::string ProveAndFlushCopy(const std::string& source, const std::string& destination) {
    const auto [sourceReport, copyReport] = CheckBoth(source, destination);
    const Jet::CopyProof proof = Jet::ProveCopy(sourceReport, copyReport, source, destination);
    if (proof.Shortfall) Err::Raise(kEngineCannotRepair, *proof.Shortfall);
    try {
        FlushToDisk(destination);
    } catch (const Err::Error& error) {
        const bool removed = DeleteFileW(FilePath(destination).c_str());
        Err::Raise(error.Number(),
                   error.Description() +
                       (removed ? " The compacted copy has been removed."
                                : " The compacted copy is left as '" + destination + "'."));
    }
    // A copy open to someone the database shut out is no copy to keep, even for a look.
    if (const auto lost =
            Jet::SecretLost(ReadSecret(source), ReadSecret(destination), destination)) {
        if (!DeleteFileW(FilePath(destination).c_str())) {
            Err::Raise(kEngineCannotRepair,
                       "The compacted copy '" + destination +
                           "' does not keep the database's password and could not be "
                           "removed; the database has not been changed");
        }
        Err::Raise(kEngineCannotRepair, *lost);
    }
    return proof.Note;
}

}  // namespace Components::Win
