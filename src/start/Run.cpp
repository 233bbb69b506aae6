// The process's whole life: the platform is handed its arguments, Main runs, and an error no
// step handled still ends as a failure that is logged and told.
#include <cstdio>
#include <exception>
#include <string>

#include "components/CommandLine.h"
#include "components/CurrentError.h"
#include "components/EngineProcess.h"
#include "components/UserInterface.h"
#include "general/qnGeneral.h"
#include "start/CommandLineRuns.h"
#include "start/StartModule.h"

namespace StartModule {

int Run(int argc, char** argv) {
    bool unattended = false;
    try {
        Components::KeepStartArguments(argc, argv);
        // A child that does an engine's work for a run with a time limit does nothing else.
        if (Components::The<Components::EngineProcess>().ServeAsChild()) return kAllCompacted;
        unattended =
            ReadArguments(Components::The<Components::CommandLine>().Arguments()).unattended;
        return Main();
    } catch (...) {
        // Nothing has been touched when an error gets this far. It is a failure all the same: a
        // scheduler must not take it for "in use, try again", and no one may be there to click
        // a box away under /compact.
        const Err::Error error = Err::Capture(std::current_exception());
        const std::string report =
            "Run-time error '" + std::to_string(error.Number()) + "':\n\n" + error.Description();
        Err::ResumeNext resume;
        resume.Step([&] {
            const std::int32_t indent = qnGeneral::kIndentNone;
            qnGeneral::WriteLog(
                "Run-time error " + std::to_string(error.Number()) + ": " + error.Description(), 1,
                indent);
        });
        if (unattended || !resume.Step([&] { Ui::MsgBox(report, Components::kMbIconStop); })) {
            std::fprintf(stderr, "%s\n", report.c_str());
        }
        return kFailed;
    }
}

}  // namespace StartModule
