#include "components/AccessRules.h"
#include "components/CurrentError.h"
#include "components/DatabaseHold.h"
#include "components/FileSystem.h"
#include "database/Safeguards.h"

namespace DAO_DatabaseFunctions {

bool CopyTakesTheDatabasesRules(const std::string& path, const std::string& copy,
                                qnGeneral::Truth SilentMode) {
    using Components::The;
    Err::ResumeNext resume;
    std::string note;
    if (resume.Step([&] { note = The<Components::AccessRules>().CarryOver(path, copy); })) {
        if (!note.empty())
            resume.Step([&] { qnGeneral::WriteLog(note, -1, qnGeneral::kIndentNone); });
        return true;
    }
    // A copy open to someone the database shut out must never take its place.
    const Err::CurrentErrorRecord cause = Err::Current();
    The<Components::DatabaseHold>().Release();  // no one need wait for the box
    const bool removed = resume.Step([&] { The<Components::FileSystem>().Kill(copy); });
    resume.Step([&] {
        // A number with a standard wording is reported in it, so the context says what it was.
        const bool worded = !Err::StandardText(cause.Number).empty();
        Err::Current() = cause;
        qnGeneral::ReportError(
            "giving the compacted copy the access rules of the database: " + qnGeneral::Trim(path) +
                (worded ? ": " + cause.Description : "") +
                "; the database has not been changed and " +
                (removed ? "the copy has been removed" : "the copy is left as " + copy),
            cause.Number, SilentMode);
    });
    return false;
}

}  // namespace DAO_DatabaseFunctions
