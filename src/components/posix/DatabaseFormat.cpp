#include "components/posix/DatabaseFormat.h"

#include "components/CurrentError.h"
#include "components/EngineErrors.h"
#include "components/posix/PosixErrors.h"
#include "components/posix/PosixPaths.h"

namespace Components::Posix {

Jet::CheckReport CheckSource(const Jet::CheckReport& report, int readError,
                             const std::string& source) {
    switch (report.Outcome) {
        case Jet::Verdict::kSound:
            return report;
        case Jet::Verdict::kNotChecked:
            if (!report.UnknownFormat) return report;
            [[fallthrough]];
        case Jet::Verdict::kNotADatabase:
            Err::Raise(kEngineUnrecognisedFormat, "Unrecognized database format " + Quoted(source) +
                                                      ": " + Jet::Sentence(report.Finding));
        case Jet::Verdict::kDamaged:
            Err::Raise(kEngineCannotOpenDatabase,
                       "Cannot open database " + Quoted(source) +
                           ". It may not be a database this engine recognizes, or the file may "
                           "be corrupt: " +
                           Jet::Sentence(report.Finding));
        case Jet::Verdict::kUnreadable:
            break;
    }
    const int error = readError;
    if (error != 0) Err::Current().LastDllError = error;
    Err::Raise(kEngineDiskError, "Disk or network error reading " + Quoted(source) + "." +
                                     (error != 0 ? " (" + SystemText(error) + ")" : ""));
}

}  // namespace Components::Posix
