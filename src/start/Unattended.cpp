// Unattended compaction: each database through the compact operation with SilentMode set, so
// that nothing is asked and nothing shown, and its outcome in one log line at level 1, which
// every logging level but 0 writes.
#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "components/Clock.h"
#include "components/CommandLine.h"
#include "components/CurrentError.h"
#include "components/EngineProcess.h"
#include "components/FileTools.h"
#include "components/Monitoring.h"
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

// What the run came to so far, for its last line.
struct Tally {
    int compacted = 0, inUse = 0, failed = 0;
    std::int64_t gained = 0;
};

// In the log at level 1 first, so that a console that cannot take the line costs the log
// nothing; then where monitors look, and on a console.
void LogOutcome(const std::string& line, Components::Severity severity, std::uint32_t event) {
    const std::int32_t indent = qnGeneral::kIndentNone;
    qnGeneral::WriteLog(line, 1, indent);
    The<Components::Monitoring>().Report(line, severity, event);
    The<Components::CommandLine>().TellOutcome(line,
                                               severity != Components::Severity::kInformation);
}

// A database in use that is to be tried again later: nothing logged for it yet.
constexpr int kSetAside = -1;

// One try at one database; its line is logged unless it is in use and `lastTry` is false.
int CompactOne(const std::string& argument, const Request& request, bool lastTry, Tally& tally) {
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
                           "; nothing was done for it",
                       Components::Severity::kError, Components::kEventNoDatabase);
        });
        ++tally.failed;
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
                           " after; the old database is now '" + outcome.Backup + "'",
                       Components::Severity::kInformation, Components::kEventCompacted);
        });
        if (!outcome.NearLimit.empty()) {
            resume.Step([&] {
                LogOutcome(outcome.NearLimit, Components::Severity::kWarning,
                           Components::kEventNearLimit);
            });
        }
        ++tally.compacted;
        if (outcome.SizeBefore >= 0 && outcome.SizeAfter >= 0) {
            tally.gained += outcome.SizeBefore - outcome.SizeAfter;
        }
        if (request.keep > 0) KeepNewestBackups(path, outcome.Backup, request.keep);
        return kAllCompacted;
    }
    const bool inUse = outcome.Kind == DAO_DatabaseFunctions::Outcome::kInUse;
    if (inUse && !lastTry) return kSetAside;
    const std::string kept = outcome.KeptCopy.empty()
                                 ? ""
                                 : "; its unfinished copy is left as '" + outcome.KeptCopy + "'";
    resume.Step([&] {
        LogOutcome(
            "'" + path + "' " +
                (outcome.Number == Components::kEngineStopped
                     ? "was not compacted: the engine did not finish within " +
                           request.timeoutShown +
                           " minutes and was stopped; the database is as it was" + kept
                 : inUse ? "is in use and was left as it was; try again later: error " +
                               std::to_string(outcome.Number) + ": " + OneLine(outcome.Message)
                         : "was not compacted: error " + std::to_string(outcome.Number) + ": " +
                               OneLine(outcome.Message)),
            inUse ? Components::Severity::kWarning : Components::Severity::kError,
            inUse ? Components::kEventInUse : Components::kEventFailed);
    });
    ++(inUse ? tally.inUse : tally.failed);
    return inUse ? kInUse : kFailed;
}

}  // namespace

int CompactUnattended(const Request& request) {
    const auto started = std::chrono::steady_clock::now();
    if (request.timeout > 0) Components::LimitEngineTime(request.timeout, request.timeoutShown);
    const auto waitEnds =
        started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                      std::chrono::duration<double, std::ratio<60>>(request.wait));
    int status = kAllCompacted;
    Tally tally;
    std::vector<std::string> setAside;
    const auto take = [&](const std::string& path, bool lastTry, std::vector<std::string>& later) {
        const int one = CompactOne(path, request, lastTry, tally);
        if (one == kSetAside) {
            later.push_back(path);
        } else {
            status = std::max(status, one);
        }
    };
    for (const Named& named : NamedDatabases(request.paths, request.recursive)) {
        if (named.pattern && named.paths.empty()) {
            LogOutcome("'" + named.argument + "' matches no database file; nothing was done for it",
                       Components::Severity::kError, Components::kEventNoDatabase);
            ++tally.failed;
            status = std::max(status, int{kWrongCall});
        }
        for (const std::string& path : named.paths) take(path, request.wait <= 0, setAside);
    }
    // A database in use goes after all the others, and again after each interval until the
    // wait is over; the try at its end is the last.
    while (!setAside.empty()) {
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            waitEnds - std::chrono::steady_clock::now(), The<Components::Clock>().RetryInterval()));
        const bool lastTry = std::chrono::steady_clock::now() >= waitEnds;
        std::vector<std::string> still;
        for (const std::string& path : setAside) take(path, lastTry, still);
        setAside = std::move(still);
    }
    const auto tenths = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count() /
                        100;
    Err::ResumeNext resume;
    resume.Step([&] {
        LogOutcome("The run: " + std::to_string(tally.compacted) + " compacted, " +
                       std::to_string(tally.inUse) + " in use, " + std::to_string(tally.failed) +
                       " failed; " + std::to_string(tally.gained) + " bytes gained in " +
                       std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s",
                   status == kAllCompacted ? Components::Severity::kInformation
                   : status == kInUse      ? Components::Severity::kWarning
                                           : Components::Severity::kError,
                   Components::kEventRun);
    });
    return status;
}

}  // namespace StartModule
