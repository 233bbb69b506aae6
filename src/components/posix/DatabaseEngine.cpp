// The stand-in for the database engine's CompactDatabase. No such engine exists on Linux,
// so it does the honest part of a compaction and no more: it locks the source (another
// process holding a lock means the database is in use), checks that the file is a database
// of the engine's family whose structure is sound, and writes a byte-for-byte copy to the
// destination, never over an existing file, synced to disk before it returns. The copy is
// the user's alone (mode 0600) until the caller gives it the database's access rules. The
// copy gets the destination's name only once it is whole where the file system allows; when
// anything fails after the name was given, the copy is removed again. The copy is checked
// too: one that lacks rows of the source is kept for the user to inspect. A database with a
// password is opened only with that password, as the header keeps it; a database whose pages
// a cipher guards takes any, since only the cipher could tell. A workgroup information file
// must be there and be a database, as the engine needs it to sign in; its accounts are not read.
#include "components/DatabaseEngine.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "components/CurrentError.h"
#include "components/EngineErrors.h"
#include "components/jet/CopyProof.h"
#include "components/jet/HeaderPassword.h"
#include "components/posix/Beside.h"
#include "components/posix/DatabaseFormat.h"
#include "components/posix/DatabaseLock.h"
#include "components/posix/Descriptor.h"
#include "components/posix/DescriptorPages.h"
#include "components/posix/DurableCopy.h"
#include "components/posix/EngineFailures.h"
#include "components/posix/FolderSync.h"
#include "components/posix/PosixErrors.h"
#include "components/posix/PosixPaths.h"
#include "components/posix/SpareThread.h"

namespace Components {

namespace {

using namespace Posix;

// A folder, a FIFO, a device or a socket is refused before it is read, so nothing blocks.
void CheckRegular(const struct stat& status, const std::string& source) {
    if (S_ISDIR(status.st_mode)) {
        RaiseEngine(kEngineInvalidPath, 0,
                    Quoted(source) + " isn't a valid path: it is a folder, not a database file.");
    }
    if (!S_ISREG(status.st_mode)) {
        RaiseEngine(kEngineUnrecognisedFormat, 0,
                    "Unrecognized database format " + Quoted(source) +
                        ": it is not a regular file (a FIFO, a device or a socket).");
    }
}

void OpenSource(const std::string& source, Descriptor& fd, struct stat& status) {
    if (source.empty()) RaiseEngine(kEngineInvalidPath, 0, "'' isn't a valid path.");
    if (Sys().Stat(source.c_str(), &status) != 0) RaiseOpenSource(errno, source);
    CheckRegular(status, source);
    const int opened = OpenRetried(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (opened < 0) RaiseOpenSource(errno, source);
    fd.Adopt(opened);
    // What was opened is what is checked: the name may have changed since the stat.
    if (Sys().Fstat(fd.Get(), &status) != 0) RaiseOpenSource(errno, source);
    CheckRegular(status, source);
}

// A copy of a file that changed meanwhile is no copy of the database.
void CheckUnchanged(int fd, const struct stat& before, const std::string& source) {
    struct stat after;
    if (Sys().Fstat(fd, &after) != 0) RaiseRead(errno, source);
    if (after.st_size != before.st_size || after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
        after.st_mtim.tv_nsec != before.st_mtim.tv_nsec) {
        RaiseEngine(kEngineFileInUse, 0,
                    "Could not use " + Quoted(source) +
                        "; it was changed by another process while it was being copied.");
    }
}

// Before anything is written, as the engine refuses.
Jet::HeaderSecret CheckPassword(int fd, std::uint64_t size, const std::string& password) {
    const Jet::HeaderSecret secret = Jet::ReadHeaderSecret(DescriptorPages(fd, size));
    if (secret.Encrypted ? password.empty()
                         : !secret.Password.empty() && password != secret.Password) {
        RaiseEngine(kEngineNotValidPassword, 0, "Not a valid password.");
    }
    return secret;
}

// As the engine signs in, before it opens the database.
void CheckWorkgroup(const std::string& workgroup) {
    std::string why = "it is not a database";
    const int fd = OpenRetried(workgroup.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat status {};
    if (fd < 0) why = SystemText(errno);
    const Descriptor file(fd);
    if (fd >= 0 && Sys().Fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        Jet::ReadHeaderSecret(DescriptorPages(fd, static_cast<std::uint64_t>(status.st_size)))
            .Database) {
        return;
    }
    RaiseEngine(kEngineWorkgroupMissing, 0,
                "Cannot start your application. The workgroup information file is missing or "
                "opened exclusively by another user: " +
                    Quoted(workgroup) + " (" + why + "). Nothing has been written.");
}

class CopyingDatabaseEngine final : public DatabaseEngine {
  public:
    void CompactDatabase(std::string source, std::string destination, const std::string& password,
                         const Account& account) override {
        note_.clear();
        if (!account.Workgroup.empty()) CheckWorkgroup(account.Workgroup);
        Descriptor in;
        struct stat status;
        OpenSource(source, in, status);
        const DatabaseLock lock(source, in.Get());
        const auto size = static_cast<std::uint64_t>(status.st_size);
        // Where nothing is to be copied, the database is walked first and its fault said first.
        const DescriptorPages pages(in.Get(), size);
        const auto walkAlone = [&] {
            CheckSource(Jet::CheckDatabase(pages), pages.Error(), source);
        };
        Descriptor out;
        // Whether a file of ours stands under the destination's name: only that is removed.
        bool named = false;
        Jet::HeaderSecret secret;
        try {
            secret = CheckPassword(in.Get(), size, password);
            if (destination.empty()) RaiseEngine(kEngineInvalidPath, 0, "'' isn't a valid path.");
            const int unnamed = OpenUnnamed(destination);
            out.Adopt(unnamed >= 0 ? unnamed : CreateNamed(destination));
            named = unnamed < 0;
        } catch (...) {
            walkAlone();
            throw;
        }
        try {
            // The copy is written and flushed while the database is walked. Nothing is judged
            // before both have ended; then, as when the walk came first, a fault of the
            // database is what the run reports, unless the database changed meanwhile.
            std::exception_ptr copyFailure;
            Jet::CheckReport walked;
            {
                Beside copying([&] {
                    CopyBytes(in.Get(), out.Get(), size, source, destination);
                    if (Retried([&] { return Sys().Fsync(out.Get()); }) != 0)
                        RaiseWrite(errno, destination, "syncing");
                });
                walked = Jet::CheckDatabase(pages);
                try {
                    copying.Finish();
                } catch (const Err::Error& error) {
                    if (error.Number() == kEngineFileInUse) throw;
                    copyFailure = std::current_exception();
                } catch (...) {
                    copyFailure = std::current_exception();
                }
            }
            // Every read of the database, the walk's and the copy's, came before this.
            CheckUnchanged(in.Get(), status, source);
            const Jet::CheckReport database = CheckSource(walked, pages.Error(), source);
            if (copyFailure) std::rethrow_exception(copyFailure);
            // The copy read back from its own descriptor once it is on the disk.
            SpareThread second;
            const Jet::CheckReport copy =
                Jet::CheckDatabase(DescriptorPages(out.Get(), size), &second);
            const Jet::HeaderSecret copySecret =
                Jet::ReadHeaderSecret(DescriptorPages(out.Get(), size));
            const Jet::CopyProof proof = Jet::ProveCopy(database, copy, source, destination);
            note_ = proof.Note;
            if (const auto lost = Jet::SecretLost(secret, copySecret, destination))
                RaiseEngine(kEngineCannotRepair, 0, *lost);
            if (!named) {
                Name(out.Get(), destination);
                named = true;
            }
            if (const int error = out.Close(); error != 0) {
                RaiseWrite(error, destination, "closing");
            }
            // Nothing has been replaced yet: a name that might not survive fails the run.
            if (const int error = SyncFolderOf(destination); error != 0) {
                RaiseWrite(error, destination, "syncing the folder of");
            }
            if (proof.Shortfall) {
                named = false;  // kept under its name for the user to inspect: the report names it
                RaiseEngine(kEngineCannotRepair, 0, *proof.Shortfall);
            }
        } catch (const Err::Error& error) {
            // No half copy stays behind under the name; should it have to, the report says
            // where it is.
            out.Close();
            if (named && Sys().Unlink(destination.c_str()) != 0 && errno != ENOENT) {
                Err::Raise(error.Number(), error.Description() + " The unfinished copy " +
                                               Quoted(destination) + " could not be removed (" +
                                               SystemText(errno) + ").");
            }
            throw;
        } catch (...) {
            out.Close();
            if (named) Sys().Unlink(destination.c_str());
            throw;
        }
    }

    std::string Note() const override { return note_; }

  private:
    std::string note_;
};

}  // namespace

std::unique_ptr<DatabaseEngine> CreatePlatformInstance(Tag<DatabaseEngine>) {
    return std::make_unique<CopyingDatabaseEngine>();
}

}  // namespace Components
