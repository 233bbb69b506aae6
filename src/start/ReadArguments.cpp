#include <cmath>
#include <string>

#include "components/Application.h"
#include "components/CommandLine.h"
#include "general/qnGeneral.h"
#include "start/CommandLineRuns.h"

namespace StartModule {

namespace {

bool Is(const std::string& argument, const char* slashForm, const char* dashForm) {
    const std::string upper = qnGeneral::UCase(argument);
    return upper == qnGeneral::UCase(slashForm) || upper == qnGeneral::UCase(dashForm);
}

// An option a run may take: --name everywhere, /name too where slashes begin no path.
bool IsOption(const std::string& argument, const std::string& name, bool slash) {
    return Is(argument, ("--" + name).c_str(), ("--" + name).c_str()) ||
           (slash && Is(argument, ("/" + name).c_str(), ("/" + name).c_str()));
}

// A whole number from `low` to `high`, nothing else.
bool ReadCount(const std::string& text, int low, int high, int& count) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    count = std::stoi(text);
    return count >= low && count <= high;
}

// Minutes from `low` (itself only when `low` may be taken) to 1440 a day, a fraction of one
// written with a point: 0.5 is thirty seconds. Read without the locale, whose point may be a
// comma.
bool ReadMinutes(const std::string& text, bool zero, double& minutes) {
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    if (whole.size() + fraction.size() == 0 || whole.size() > 4 || fraction.size() > 6 ||
        (whole + fraction).find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    minutes = whole.empty() ? 0 : std::stoi(whole);
    if (!fraction.empty()) minutes += std::stoi(fraction) / std::pow(10.0, fraction.size());
    return minutes <= 1440 && (zero || minutes > 0);
}

}  // namespace

Request ReadArguments(const std::vector<std::string>& arguments) {
    Request request;
    const bool slash = Components::The<Components::CommandLine>().SlashOptions();
    std::string compactOnly;  // the first option that only a /compact run may take
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (Is(argument, "/?", "--help")) {
            request.kind = Request::kHelp;
        } else if (Is(argument, "/compact", "--compact")) {
            request.unattended = true;
        } else if (IsOption(argument, "keep", slash)) {
            compactOnly = compactOnly.empty() ? argument : compactOnly;
            if ((i + 1 == arguments.size() || !ReadCount(arguments[++i], 1, 9999, request.keep)) &&
                request.wrong.empty()) {
                request.wrong = argument + " takes the number of backups to keep, 1 to 9999.";
            }
        } else if (IsOption(argument, "timeout", slash) || IsOption(argument, "wait", slash)) {
            compactOnly = compactOnly.empty() ? argument : compactOnly;
            const bool timeout = IsOption(argument, "timeout", slash);
            if (i + 1 < arguments.size() &&
                ReadMinutes(arguments[i + 1], !timeout, timeout ? request.timeout : request.wait)) {
                if (timeout) request.timeoutShown = arguments[i + 1];
                ++i;
            } else if (request.wrong.empty()) {
                request.wrong = argument + " takes minutes, " + (timeout ? "more than 0" : "0") +
                                " to 1440 (0.5 is thirty seconds).";
            }
        } else if (IsOption(argument, "workgroup", slash) ||
                   (slash && Is(argument, "/wrkgrp", "/wrkgrp")) ||
                   IsOption(argument, "user", slash)) {
            const bool workgroup = !IsOption(argument, "user", slash);
            if (i + 1 < arguments.size() && !arguments[i + 1].empty()) {
                (workgroup ? request.workgroup : request.user) = arguments[++i];
            } else if (request.wrong.empty()) {
                request.wrong = argument + (workgroup ? " takes the workgroup information file."
                                                      : " takes the user's name.");
            }
        } else if (IsOption(argument, "recursive", slash) || (slash && Is(argument, "/s", "/s"))) {
            compactOnly = compactOnly.empty() ? argument : compactOnly;
            request.recursive = true;
        } else if (argument.size() > 1 && argument.front() == '-' && request.wrong.empty()) {
            request.wrong = "Unknown option " + argument + ".";
        } else {
            request.paths.push_back(argument);
        }
    }
    if (request.kind == Request::kHelp) return request;
    if (request.wrong.empty() && request.workgroup.empty() != request.user.empty()) {
        request.wrong =
            slash ? "/wrkgrp and /user go together." : "--workgroup and --user go together.";
    }
    if (request.wrong.empty() && request.unattended && request.paths.empty()) {
        request.wrong = "No database is named after /compact.";
    }
    if (request.wrong.empty() && !request.unattended && !compactOnly.empty()) {
        request.wrong = compactOnly + " belongs to /compact runs.";
    }
    if (request.wrong.empty() && !request.unattended && request.paths.size() > 1) {
        request.wrong = "Only one database can be named without /compact.";
    }
    if (!request.wrong.empty()) {
        request.kind = Request::kWrong;
    } else if (request.unattended) {
        request.kind = Request::kUnattended;
    } else if (!request.paths.empty()) {
        request.kind = Request::kOnePath;
    }
    return request;
}

std::string Usage() {
    const std::string name = Components::The<Components::Application>().ExeBaseName();
    return "Usage:\n  " + name +
           "\n      choose a database in a dialog and compact it, asking first\n  " + name +
           " DATABASE\n      compact that database, asking first\n  " + name +
           " /compact [--keep N] [--recursive] [--timeout M] [--wait M] "
           "DATABASE|FOLDER|PATTERN...\n      compact each "
           "database unattended: no questions and no messages; the log has one line at level 1 "
           "for each database. A folder stands for the .mdb and .accdb files in it, a pattern "
           "(* and ? in the last part) for the files it matches; backups, lock files and "
           "temporary copies are never taken\n      --keep N: after each compaction, delete "
           "that database's older backups (NAME-NNNN.BAK), keeping the N newest (1 to 9999)\n"
           "      --recursive: folders stand for their subfolders' databases too\n"
           "      --timeout M: stop the engine after M minutes on one database (0.5 is thirty "
           "seconds); its copy is deleted and the database left as it was, with status 3\n"
           "      --wait M: try a database in use again every 10 seconds, after the others, "
           "until M minutes have passed since the run began\n"
           "--workgroup FILE --user NAME, with any of these: sign in to the database engine as "
           "NAME of the workgroup information file FILE; its password is the one stored for it, "
           "or none\n  " +
           name +
           " /?\n      show this text\n--compact and --help do the same as /compact and /?; on "
           "Windows /keep N, /s, /timeout M, /wait M, /wrkgrp FILE and /user NAME do the same as "
           "--keep N, --recursive, --timeout M, --wait M, --workgroup FILE and --user NAME.\n\n"
           "The exit status of an unattended run is the highest that occurred:\n"
           "  0  every database was compacted\n"
           "  1  a database was in use and was left as it was: try again later\n"
           "  2  a wrong command line, or a path that names no database file: nothing was done "
           "for it\n"
           "  3  a compaction failed: the log says what happened and where each file is";
}

}  // namespace StartModule
