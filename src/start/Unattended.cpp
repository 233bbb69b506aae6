// Unattended compaction: each database through the compact operation with SilentMode set, so
// that nothing is asked and nothing shown, and its outcome in one log line at level 1, which
// every logging level but 0 writes.
#include <algorithm>
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

std::string Bytes(std::int64_t size) { return size < 0 ? "no" : std::to_string(size); }

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

void LogOutcome(const std::string& line) {
    const std::int32_t indent = qnGeneral::kIndentNone;
    qnGeneral::WriteLog(line, 1, indent);
}

int CompactOne(const std::string& argument, int keep) {
    auto& tools = The<Components::FileTools>();
    std::string path = argument;
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
            LogOutcome("'" + path + "' names no database file, or an empty one" + why +
                       "; nothing was done for it");
        });
        return kWrongCall;
    }
    DAO_DatabaseFunctions::Outcome outcome;
    std::shared_ptr<Components::DialogObject> noDialog;
    if (!resume.Step([&] {
            outcome = DAO_DatabaseFunctions::CompactRepair(path, noDialog, "", qnGeneral::True);
        })) {
        // An error that left the operation before it could report.
        outcome = DAO_DatabaseFunctions::Outcome::Reported(Err::Current().Number,
                                                           Err::Current().Description);
    }
    if (outcome.Kind == DAO_DatabaseFunctions::Outcome::kCompacted) {
        resume.Step([&] {
            LogOutcome("'" + path + "' compacted: " + Bytes(outcome.SizeBefore) +
                       " bytes before, " + Bytes(outcome.SizeAfter) +
                       " after; the old database is now '" + outcome.Backup + "'");
        });
        if (keep > 0) KeepNewestBackups(path, outcome.Backup, keep);
        return kAllCompacted;
    }
    const bool inUse = outcome.Kind == DAO_DatabaseFunctions::Outcome::kInUse;
    resume.Step([&] {
        LogOutcome(
            "'" + path + "' " +
            (inUse ? "is in use and was left as it was; try again later" : "was not compacted") +
            ": error " + std::to_string(outcome.Number) + ": " + OneLine(outcome.Message));
    });
    return inUse ? kInUse : kFailed;
}

}  // namespace

int CompactUnattended(const Request& request) {
    int status = kAllCompacted;
    for (const Named& named : NamedDatabases(request.paths, request.recursive)) {
        if (named.pattern && named.paths.empty()) {
            LogOutcome("'" + named.argument +
                       "' matches no database file; nothing was done for it");
            status = std::max(status, int{kWrongCall});
        }
        for (const std::string& path : named.paths) {
            status = std::max(status, CompactOne(path, request.keep));
        }
    }
    return status;
}

}  // namespace StartModule
