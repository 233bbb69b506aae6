#include "database/DAO_DatabaseFunctions.h"

#include <cstdio>
#include <limits>
#include <utility>

#include "components/CurrentError.h"
#include "components/DatabaseEngine.h"
#include "components/DatabaseHold.h"
#include "components/FileSystem.h"
#include "components/FileTools.h"
#include "components/Progress.h"
#include "components/UserInterface.h"
#include "database/ChooseDatabase.h"
#include "database/Safeguards.h"

namespace DAO_DatabaseFunctions {

namespace {

using Components::The;
using qnGeneral::False;
using qnGeneral::Truth;

constexpr const char* kConfirmTitle = "Compact/Repair Database";
// A lookup error that comes back this often in a row is the share, not the name.
constexpr int kSameLookupErrorsInARow = 16;
constexpr const char* kSuccessText =
    "Your Database has been successfully Compacted/Repaired and the old version saved in a "
    "new file with a '.BAK' extension";

std::string ConfirmationPrompt(const std::string& path) {
    return "Warning : The database must be closed on all computers before you can "
           "Compact/Repair it!\nYou should ensure that you have a backup of the database before "
           "proceeding\n\nAre you sure you want to continue compacting/repairing:\n\n\t" +
           path;
}

// Reports a failure after the compaction, with the error that caused it as the current
// error, so the report can quote its description.
void ReportFailure(const std::string& context, const Err::CurrentErrorRecord& cause,
                   Truth SilentMode) {
    Err::Current().Number = cause.Number;
    Err::Current().Description = cause.Description;
    qnGeneral::ReportError(context, cause.Number, SilentMode);
}

}  // namespace

std::string BackupName(const std::string& pathWithoutExtension, std::int16_t number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04d", static_cast<int>(number));
    return pathWithoutExtension + "-" + digits + ".BAK";
}

Truth CompactRepairDatabase(std::string DatabasePath,
                            std::shared_ptr<Components::DialogObject>& DialogControl,
                            std::string InitialFolder, Truth SilentMode) {
    Truth result = False;
    std::string path = DatabasePath;

    if (path.empty()) {
        if (!DialogControl) return False;
        path = ChooseInDialog(*DialogControl, InitialFolder);
        if (path.empty()) return False;
    }

    if (SilentMode == 0 &&
        Ui::MsgBox(ConfirmationPrompt(path),
                   Components::kMbYesNo | Components::kMbIconQuestion | Components::kMbDefButton2,
                   kConfirmTitle) == Components::kIdNo) {
        return False;
    }

    // A second name would keep the old file, and every edit made through it would go into the
    // backup. A database that cannot be asked is left for the engine to report.
    {
        Err::ResumeNext ask;
        Components::FileState state;
        if (ask.Step([&] { state = The<Components::DatabaseHold>().State(path); }) &&
            state.Links > 1) {
            ask.Step([&] {
                qnGeneral::ReportError(
                    "compacting the database: " + qnGeneral::Trim(path) + ": it has " +
                        std::to_string(state.Links) +
                        " names (hard links), and the compacted copy could take only this one, "
                        "leaving the others on the old file; the database has not been changed",
                    0, SilentMode);
            });
            return False;
        }
    }

    // Open elsewhere, or no room for the copy: said before anything is written.
    if (!ReadyToCompact(path, SilentMode)) return False;

    std::string temporary;
    {
        // Nothing has been touched yet, but a folder that cannot say which names are free is
        // a failure the user, who said yes twice, must hear of.
        Err::ResumeNext naming;
        // Whatever code the naming service leaves is then its own.
        Err::Current().LastDllError = 0;
        if (!naming.Step([&] {
                temporary =
                    qnGeneral::GetTempFile(The<Components::FileTools>().FolderOf(path, 0), "MDB");
            })) {
            naming.Step([&] {
                qnGeneral::ReportError(
                    "finding a temporary name beside the database: " + qnGeneral::Trim(path) +
                        "; the database has not been changed",
                    Err::Current().Number, SilentMode);
            });
            return False;
        }
    }
    // Without a name beside the database the engine would only be told of an empty path.
    if (temporary.empty()) {
        const std::int64_t code = Err::Current().LastDllError;
        Err::ResumeNext resume;
        resume.Step([&] {
            qnGeneral::ReportError(
                "making the compacted copy of the database: " + qnGeneral::Trim(path) +
                    ": no new file can be created in its folder" +
                    (code != 0 ? " (system error " + std::to_string(code) + ")" : "") +
                    ", so the database has not been changed",
                0, SilentMode);
        });
        return False;
    }

    auto& pointer = The<Components::MousePointer>();
    pointer.Set(Components::kPointerBusy);

    // From here on every step runs whatever the one before it raised, and nothing that can
    // fail is done outside a step, so the pointer always comes back and every failure is
    // reported.
    Err::ResumeNext resume;
    auto& hold = The<Components::DatabaseHold>();
    Components::FileState before;
    resume.Step([&] {
        before = hold.State(path);
        // Only a run with questions has someone watching; the box after it finds it gone.
        const std::string name = path.substr(The<Components::FileTools>().FolderOf(path, 0).size());
        const Components::ProgressShown progress(SilentMode == 0, "Compacting " + name + "\u2026");
        The<Components::DatabaseEngine>().CompactDatabase(path, temporary);
    });
    resume.Step([&] { pointer.Set(Components::kPointerDefault); });
    if (Err::Current().Number != 0) {
        resume.Step([&] {
            qnGeneral::ReportError("Compacting/Repairing the database: " + qnGeneral::Trim(path),
                                   Err::Current().Number, SilentMode);
        });
        return result;
    }
    // A copy the engine could not prove is still the engine's copy; the log says so.
    resume.Step([&] {
        const std::string note = The<Components::DatabaseEngine>().Note();
        if (!note.empty()) qnGeneral::WriteLog(note, -1, qnGeneral::kIndentNone);
    });

    // A copy that will never take the database's place is only clutter beside it, and no one
    // need wait for the user to read the report before opening the database again.
    auto removeCopy = [&] {
        hold.Release();
        return resume.Step([&] { The<Components::FileSystem>().Kill(temporary); });
    };
    auto copyNote = [&](bool removed) {
        return removed ? std::string() : "; the compacted copy is left as " + temporary;
    };

    // Nobody may write the database until its copy has taken its name: an edit made now
    // would be lost from the live database.
    struct LetGo {
        Components::DatabaseHold& hold;
        ~LetGo() { hold.Release(); }
    } letGo{hold};
    if (!resume.Step([&] { hold.Hold(path); })) {
        const auto cause = std::move(Err::Current());
        const bool removed = removeCopy();
        resume.Step([&] {
            ReportFailure("replacing the database: " + qnGeneral::Trim(path) +
                              " with its compacted copy, as it is in use again; the database "
                              "has not been changed" +
                              copyNote(removed),
                          cause, SilentMode);
        });
        return False;
    }
    // A state that cannot be asked leaves no time to match, and the copy is refused below.
    Components::FileState held;
    resume.Step([&] { held = hold.State(path); });
    if (!CopyTakesTheDatabasesRules(path, temporary, SilentMode)) return False;

    std::int16_t backupNumber = 0;
    std::string candidate;
    std::int32_t lastLookupError = 0;
    int sameInARow = 0;
    for (;;) {
        if (backupNumber == std::numeric_limits<std::int16_t>::max()) {
            const bool removed = removeCopy();
            resume.Step([&] {
                qnGeneral::ReportError(
                    "finding a free backup name for the database: " + qnGeneral::Trim(path) +
                        ", every name up to -32767.BAK is taken or cannot "
                        "be checked; the database has not been changed" +
                        copyNote(removed),
                    0, SilentMode);
            });
            return False;
        }
        backupNumber += 1;
        resume.Step([&] {
            candidate =
                BackupName(The<Components::FileTools>().PathWithoutExtension(path), backupNumber);
        });
        if (resume.Step([&] {
                if (The<Components::FileTools>().FileSize(candidate) >= 0) candidate.clear();
            })) {
            sameInARow = 0;
        } else {
            candidate.clear();
            sameInARow = Err::Current().Number == lastLookupError ? sameInARow + 1 : 1;
            lastLookupError = Err::Current().Number;
            if (sameInARow == kSameLookupErrorsInARow) {
                const auto cause = std::move(Err::Current());
                const bool removed = removeCopy();
                resume.Step([&] {
                    ReportFailure("finding a free backup name for the database: " +
                                      qnGeneral::Trim(path) + ", the same error came back for " +
                                      std::to_string(kSameLookupErrorsInARow) +
                                      " names in a row; the database has not been changed" +
                                      copyNote(removed),
                                  cause, SilentMode);
                });
                return False;
            }
        }
        if (!candidate.empty()) break;
    }

    // The copy is of the database as it was when the engine began; if it has changed since,
    // the copy would undo the change.
    bool unchanged = false;
    resume.Step([&] { unchanged = hold.State(path).Unchanged(before, held); });
    if (!unchanged) {
        const bool removed = removeCopy();
        resume.Step([&] {
            qnGeneral::ReportError("replacing the database: " + qnGeneral::Trim(path) +
                                       ": it was changed while it was being compacted, so its "
                                       "compacted copy is out of date; the database has not "
                                       "been changed" +
                                       copyNote(removed),
                                   0, SilentMode);
        });
        return False;
    }

    if (!resume.Step([&] { The<Components::FileSystem>().Rename(path, candidate); })) {
        // Taken rather than copied, so that nothing outside a step can fail.
        const auto cause = std::move(Err::Current());
        const bool removed = removeCopy();
        resume.Step([&] {
            ReportFailure("renaming the database: " + qnGeneral::Trim(path) +
                              " to its backup name " + candidate +
                              "; the database has not been changed" + copyNote(removed),
                          cause, SilentMode);
        });
        return False;
    }

    if (!resume.Step([&] { The<Components::FileSystem>().Rename(temporary, path); })) {
        const auto cause = std::move(Err::Current());
        if (resume.Step([&] { The<Components::FileSystem>().Rename(candidate, path); })) {
            const bool removed = removeCopy();
            resume.Step([&] {
                ReportFailure(
                    "giving the compacted copy the database's name: " + qnGeneral::Trim(path) +
                        "; the database has been left as it was" + copyNote(removed),
                    cause, SilentMode);
            });
        } else {
            hold.Release();
            resume.Step([&] {
                ReportFailure("giving the compacted copy the database's name: " +
                                  qnGeneral::Trim(path) + "; the old database is now " + candidate +
                                  " and the compacted copy is " + temporary,
                              cause, SilentMode);
            });
        }
        return False;
    }

    // The old file is the backup now: nobody need wait for the user to read the box.
    hold.Release();
    if (SilentMode == 0) {
        resume.Step([&] { Ui::MsgBox(kSuccessText, Components::kMbIconInformation); });
    }
    result = qnGeneral::True;
    return result;
}

}  // namespace DAO_DatabaseFunctions
