#include "components/windows/HeldCopy.h"

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

// A file that cannot even be opened reads as unreadable, and leaves no error behind.
Jet::CheckReport CheckFile(const std::string& path) {
    const Err::CurrentErrorRecord before = Err::Current();
    try {
        return Jet::CheckDatabase(*OpenFilePages(path));
    } catch (const Err::Error& error) {
        Err::Current() = before;
        Jet::CheckReport report;
        report.Outcome = Jet::Verdict::kUnreadable;
        report.Finding = error.Description();
        return report;
    }
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
    const Jet::CopyProof proof =
        Jet::ProveCopy(CheckFile(source), CheckFile(destination), source, destination);
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
