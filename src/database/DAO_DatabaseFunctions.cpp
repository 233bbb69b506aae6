#include "database/DAO_DatabaseFunctions.h"

#include <utility>

#include "components/AccessRules.h"
#include "components/CurrentError.h"
#include "components/DatabaseEngine.h"
#include "components/DatabaseHold.h"
#include "components/FileSystem.h"
#include "components/FileTools.h"
#include "components/Progress.h"
#include "components/UserInterface.h"
#include "database/ChooseDatabase.h"
#include "database/Passwords.h"
#include "database/Safeguards.h"

namespace DAO_DatabaseFunctions {

namespace {

using Components::The;
using qnGeneral::False;
using qnGeneral::Truth;

constexpr const char* kConfirmTitle = "Compact/Repair Database";
constexpr const char* kSuccessText =
    "Your Database has been successfully Compacted/Repaired and the old version saved in a "
    "new file with a '.BAK' extension";

std::string ConfirmationPrompt(const std::string& path) {
    return "Warning : The database must be closed on all computers before you can "
           "Compact/Repair it!\nYou should ensure that you have a backup of the database before "
           "proceeding\n\nAre you sure you want to continue compacting/repairing:\n\n\t" +
           path;
}

// Reports within `resume`, with `number` as the error the report quotes, and gives what was
// said as the outcome.
Outcome Say(Err::ResumeNext& resume, const std::string& context, std::int32_t number,
            Truth SilentMode) {
    std::string said;
    resume.Step([&] { said = qnGeneral::ReportError(context, number, SilentMode); });
    return Outcome::Reported(number, said);
}

}  // namespace

Outcome Outcome::Reported(std::int32_t number, std::string message) {
    Outcome outcome;
    outcome.Kind = MeansInUse(number) ? kInUse : kFailed;
    outcome.Number = number;
    outcome.Message = std::move(message);
    return outcome;
}

Truth CompactRepairDatabase(std::string DatabasePath,
                            std::shared_ptr<Components::DialogObject>& DialogControl,
                            std::string InitialFolder, Truth SilentMode) {
    Truth result = False;
    const Outcome outcome = CompactRepair(DatabasePath, DialogControl, InitialFolder, SilentMode);
    if (outcome.Kind == Outcome::kCompacted) result = qnGeneral::True;
    // Unattended runs log it beside their own line for the database.
    if (!outcome.NearLimit.empty()) {
        qnGeneral::WriteLog(outcome.NearLimit, 1, qnGeneral::kIndentNone);
    }
    return result;
}

Outcome CompactRepair(std::string DatabasePath,
                      std::shared_ptr<Components::DialogObject>& DialogControl,
                      std::string InitialFolder, Truth SilentMode) {
    const Outcome declined;
    std::string path = DatabasePath;

    if (path.empty()) {
        if (!DialogControl) return declined;
        path = ChooseInDialog(*DialogControl, InitialFolder);
        if (path.empty()) return declined;
    }

    if (SilentMode == 0 &&
        Ui::MsgBox(ConfirmationPrompt(path),
                   Components::kMbYesNo | Components::kMbIconQuestion | Components::kMbDefButton2,
                   kConfirmTitle) == Components::kIdNo) {
        return declined;
    }

    // A second name would keep the old file, and every edit made through it would go into the
    // backup. A database that cannot be asked is left for the engine to report.
    {
        Err::ResumeNext ask;
        Components::FileState state;
        if (ask.Step([&] { state = The<Components::DatabaseHold>().State(path); }) &&
            state.Links > 1) {
            return Say(ask,
                       "compacting the database: " + qnGeneral::Trim(path) + ": it has " +
                           std::to_string(state.Links) +
                           " names (hard links), and the compacted copy could take only this "
                           "one, leaving the others on the old file; the database has not been "
                           "changed",
                       0, SilentMode);
        }
    }

    // Open elsewhere, or no room for the copy: said before anything is written.
    if (auto refused = ReadyToCompact(path, SilentMode)) return *refused;

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
            return Say(naming,
                       "finding a temporary name beside the database: " + qnGeneral::Trim(path) +
                           "; the database has not been changed",
                       Err::Current().Number, SilentMode);
        }
    }
    // Without a name beside the database the engine would only be told of an empty path.
    if (temporary.empty()) {
        const std::int64_t code = Err::Current().LastDllError;
        Err::ResumeNext resume;
        return Say(resume,
                   "making the compacted copy of the database: " + qnGeneral::Trim(path) +
                       ": no new file can be created in its folder" +
                       (code != 0 ? " (system error " + std::to_string(code) + ")" : "") +
                       ", so the database has not been changed",
                   0, SilentMode);
    }

    auto& pointer = The<Components::MousePointer>();
    pointer.Set(Components::kPointerBusy);

    // From here on every step runs whatever the one before it raised, and nothing that can
    // fail is done outside a step, so the pointer always comes back and every failure is
    // reported.
    Err::ResumeNext resume;
    auto& hold = The<Components::DatabaseHold>();
    Components::FileState before;
    bool given = true;
    resume.Step([&] {
        before = hold.State(path);
        // Only a run with questions has someone watching; the box after it finds it gone.
        const std::string name = path.substr(The<Components::FileTools>().FolderOf(path, 0).size());
        given = CompactWithPassword(
            path, SilentMode, [&](const std::string& password, const Components::Account& account) {
                const Components::ProgressShown progress(SilentMode == 0,
                                                         "Compacting " + name + "\u2026");
                The<Components::DatabaseEngine>().CompactDatabase(path, temporary, password,
                                                                  account);
            });
    });
    resume.Step([&] { pointer.Set(Components::kPointerDefault); });
    // Asked for the database's password, the user cancelled: nothing has been written.
    if (!given) return declined;
    if (Err::Current().Number != 0) {
        Outcome outcome = Say(resume, "Compacting/Repairing the database: " + qnGeneral::Trim(path),
                              Err::Current().Number, SilentMode);
        // What the engine left (a copy it could not remove, or one kept for the user) is named.
        resume.Step([&] {
            if (The<Components::FileTools>().FileSize(temporary) >= 0) outcome.KeptCopy = temporary;
        });
        return outcome;
    }

    // Every failure from here on: the cause taken before the removal can overwrite it, the
    // database let go so that no one need wait for the box to open it again, the copy, only
    // clutter now, removed, and the report saying where it is should it stay.
    const auto giveUp = [&](Err::CurrentErrorRecord cause, const std::string& context,
                            const std::string& kept = "; the compacted copy is left as ",
                            const std::string& gone = "") {
        hold.Release();
        const bool removed = resume.Step([&] { The<Components::FileSystem>().Kill(temporary); });
        Err::Current() = cause;
        Outcome outcome =
            Say(resume, context + (removed ? gone : kept + temporary), cause.Number, SilentMode);
        if (!removed) outcome.KeptCopy = temporary;
        return outcome;
    };
    const std::string unchangedNote = "; the database has not been changed";

    // Nobody may write the database until its copy has taken its name: an edit made now
    // would be lost from the live database.
    struct LetGo {
        Components::DatabaseHold& hold;
        ~LetGo() { hold.Release(); }
    } letGo{hold};
    if (!resume.Step([&] { hold.Hold(path); })) {
        return giveUp(std::move(Err::Current()),
                      "replacing the database: " + qnGeneral::Trim(path) +
                          " with its compacted copy, as it is in use again" + unchangedNote);
    }
    // A state that cannot be asked leaves no time to match, and the copy is refused below.
    Components::FileState held;
    resume.Step([&] { held = hold.State(path); });
    // Proven against the database as it is held, so that no edit can come between.
    if (!resume.Step([&] { The<Components::DatabaseEngine>().ProveHeldCopy(path, temporary); })) {
        hold.Release();
        Outcome outcome = Say(resume, "Compacting/Repairing the database: " + qnGeneral::Trim(path),
                              Err::Current().Number, SilentMode);
        resume.Step([&] {
            if (The<Components::FileTools>().FileSize(temporary) > 0) outcome.KeptCopy = temporary;
        });
        return outcome;
    }
    // A copy the engine could not prove is still the engine's copy; the log says so.
    resume.Step([&] {
        const std::string note = The<Components::DatabaseEngine>().Note();
        if (!note.empty()) qnGeneral::WriteLog(note, -1, qnGeneral::kIndentNone);
    });

    // A copy open to someone the database shut out must never take its place.
    std::string rulesNote;
    if (!resume.Step(
            [&] { rulesNote = The<Components::AccessRules>().CarryOver(path, temporary); })) {
        // A number with a standard wording is reported in it, so the context says what it was.
        const bool worded = !Err::StandardText(Err::Current().Number).empty();
        const std::string what = worded ? ": " + Err::Current().Description : "";
        return giveUp(std::move(Err::Current()),
                      "giving the compacted copy the access rules of the database: " +
                          qnGeneral::Trim(path) + what + unchangedNote,
                      " and the copy is left as ", " and the copy has been removed");
    }
    if (!rulesNote.empty()) qnGeneral::WriteLog(rulesNote, -1, qnGeneral::kIndentNone);

    BackupSearch backup = FindBackupName(path);
    if (backup.Name.empty()) {
        return giveUp(std::move(backup.Cause),
                      "finding a free backup name for the database: " + qnGeneral::Trim(path) +
                          (backup.Exhausted
                               ? ", every name up to -32767.BAK is taken or cannot "
                                 "be checked"
                               : ", the same error came back for " +
                                     std::to_string(kSameLookupErrorsInARow) + " names in a row") +
                          unchangedNote);
    }
    const std::string& candidate = backup.Name;

    // The copy is of the database as it was when the engine began; if it has changed since,
    // the copy would undo the change.
    bool unchanged = false;
    resume.Step([&] { unchanged = hold.State(path).Unchanged(before, held); });
    if (!unchanged) {
        return giveUp({}, "replacing the database: " + qnGeneral::Trim(path) +
                              ": it was changed while it was being compacted, so its compacted "
                              "copy is out of date" +
                              unchangedNote);
    }

    if (!resume.Step([&] { The<Components::FileSystem>().Rename(path, candidate); })) {
        return giveUp(std::move(Err::Current()), "renaming the database: " + qnGeneral::Trim(path) +
                                                     " to its backup name " + candidate +
                                                     unchangedNote);
    }

    if (!resume.Step([&] { The<Components::FileSystem>().Rename(temporary, path); })) {
        auto cause = std::move(Err::Current());
        if (resume.Step([&] { The<Components::FileSystem>().Rename(candidate, path); })) {
            return giveUp(std::move(cause), "giving the compacted copy the database's name: " +
                                                qnGeneral::Trim(path) +
                                                "; the database has been left as it was");
        }
        hold.Release();
        Err::Current() = cause;
        Outcome outcome =
            Say(resume,
                "giving the compacted copy the database's name: " + qnGeneral::Trim(path) +
                    "; the old database is now " + candidate + " and the compacted copy is " +
                    temporary,
                cause.Number, SilentMode);
        outcome.Backup = candidate;
        outcome.KeptCopy = temporary;
        return outcome;
    }

    // The old file is the backup now: nobody need wait for the user to read the box.
    hold.Release();
    if (SilentMode == 0) {
        resume.Step([&] { Ui::MsgBox(kSuccessText, Components::kMbIconInformation); });
    }
    Outcome compacted;
    compacted.Kind = Outcome::kCompacted;
    compacted.Backup = candidate;
    compacted.SizeBefore = static_cast<std::int64_t>(before.Size);
    resume.Step([&] {
        compacted.SizeAfter =
            static_cast<std::int64_t>(The<Components::FileTools>().FileSize(path));
    });
    compacted.NearLimit = WarnNearLimit(path, SilentMode);
    return compacted;
}

}  // namespace DAO_DatabaseFunctions
