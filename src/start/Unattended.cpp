// Unattended compaction: each database through the compact operation with SilentMode set, so
// that nothing is asked and nothing shown, and its outcome in one log line at level 1, which
// every logging level but 0 writes.
#include <algorithm>
#include <limits>
#include <memory>

#include "components/CommandLine.h"
#include "components/CurrentError.h"
#include "components/FileTools.h"
#include "database/DAO_DatabaseFunctions.h"
#include "database/Safeguards.h"
#include "start/CommandLineRuns.h"

namespace StartModule {

namespace {

using Components::The;

std::string Bytes(double size) {
    return size < 0 ? "no" : std::to_string(static_cast<long long>(size));
}

// The report's line breaks as single spaces, so that the outcome is one line of the log.
std::string OneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        if (c != '\n') {
            line += c;
        } else if (!line.empty() && line.back() != ' ') {
            line += ' ';
        }
    }
    return line;
}

// The log first: a console that cannot take the line must not cost the log its record.
void Outcome(const std::string& line, bool failed) {
    const std::int32_t indent = qnGeneral::kIndentNone;
    qnGeneral::WriteLog(line, 1, indent);
    The<Components::CommandLine>().TellOutcome(line, failed);
}

// The name the operation's own search will give the old database: the first number whose
// name no file holds.
std::string NextBackupName(const std::string& path) {
    auto& tools = The<Components::FileTools>();
    const std::string stem = tools.PathWithoutExtension(path);
    for (std::int16_t number = 1; number < std::numeric_limits<std::int16_t>::max(); ++number) {
        const std::string candidate = DAO_DatabaseFunctions::BackupName(stem, number);
        try {
            if (tools.FileSize(candidate) < 0) return candidate;
        } catch (const Err::Error&) {
            // A name that cannot be looked at counts as taken, as the operation counts it.
        }
    }
    return "";
}

int CompactOne(const std::string& argument) {
    auto& tools = The<Components::FileTools>();
    std::string path = argument, backup;
    double before = -1;
    Err::ResumeNext resume;
    resume.Step([&] {
        path = The<Components::CommandLine>().FullPath(argument);
        before = tools.FileSize(path);
    });
    if (!(before > 0)) {
        const std::string why =
            Err::Current().Number != 0 ? " (" + Err::Current().Description + ")" : "";
        resume.Step([&] {
            Outcome("'" + path + "' names no database file, or an empty one" + why +
                        "; nothing was done for it",
                    true);
        });
        return kWrongCall;
    }
    resume.Step([&] { backup = NextBackupName(path); });

    qnGeneral::LastProblem() = {};
    qnGeneral::Truth compacted = qnGeneral::False;
    std::shared_ptr<Components::DialogObject> noDialog;
    const bool returned = resume.Step([&] {
        compacted =
            DAO_DatabaseFunctions::CompactRepairDatabase(path, noDialog, "", qnGeneral::True);
    });
    if (compacted != qnGeneral::False) {
        double after = -1;
        resume.Step([&] { after = tools.FileSize(path); });
        resume.Step([&] {
            Outcome("'" + path + "' compacted: " + Bytes(before) + " bytes before, " +
                        Bytes(after) + " after; the old database is now '" + backup + "'",
                    false);
        });
        return kAllCompacted;
    }
    // What the operation reported, or the error that left it before it could report.
    const std::int32_t number = returned ? qnGeneral::LastProblem().Number : Err::Current().Number;
    const std::string text =
        returned ? qnGeneral::LastProblem().Message : Err::Current().Description;
    const bool inUse = DAO_DatabaseFunctions::MeansInUse(number);
    resume.Step([&] {
        Outcome("'" + path + "' " +
                    (inUse ? "is in use and was left as it was; try again later"
                           : "was not compacted") +
                    ": error " + std::to_string(number) + ": " + OneLine(text),
                true);
    });
    return inUse ? kInUse : kFailed;
}

}  // namespace

int CompactUnattended(const std::vector<std::string>& arguments) {
    int status = kAllCompacted;
    for (const std::string& argument : arguments) status = std::max(status, CompactOne(argument));
    return status;
}

}  // namespace StartModule
