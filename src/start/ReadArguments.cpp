#include "components/Application.h"
#include "general/qnGeneral.h"
#include "start/CommandLineRuns.h"

namespace StartModule {

namespace {

bool Is(const std::string& argument, const char* slashForm, const char* dashForm) {
    const std::string upper = qnGeneral::UCase(argument);
    return upper == qnGeneral::UCase(slashForm) || upper == qnGeneral::UCase(dashForm);
}

}  // namespace

Request ReadArguments(const std::vector<std::string>& arguments) {
    Request request;
    for (const std::string& argument : arguments) {
        if (Is(argument, "/?", "--help")) {
            request.kind = Request::kHelp;
        } else if (Is(argument, "/compact", "--compact")) {
            request.unattended = true;
        } else if (argument.size() > 1 && argument.front() == '-' && request.wrong.empty()) {
            request.wrong = "Unknown option " + argument + ".";
        } else {
            request.paths.push_back(argument);
        }
    }
    if (request.kind == Request::kHelp) return request;
    if (request.wrong.empty() && request.unattended && request.paths.empty()) {
        request.wrong = "No database is named after /compact.";
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
           " /compact DATABASE...\n      compact each database unattended: no questions and no "
           "messages; the log has one line at level 1 for each database\n  " +
           name +
           " /?\n      show this text\n--compact and --help do the same as /compact and /?.\n\n"
           "The exit status of an unattended run is the highest that occurred:\n"
           "  0  every database was compacted\n"
           "  1  a database was in use and was left as it was: try again later\n"
           "  2  a wrong command line, or a path that names no database file: nothing was done "
           "for it\n"
           "  3  a compaction failed: the log says what happened and where each file is";
}

}  // namespace StartModule
