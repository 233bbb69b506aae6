// The executable's entry point: it hands the platform its arguments, runs Main and ends with
// the status Main gives.
#include <cstdio>
#include <exception>
#include <string>

#include "components/CommandLine.h"
#include "components/CurrentError.h"
#include "components/UserInterface.h"
#include "start/StartModule.h"

int main(int argc, char** argv) {
    try {
        Components::KeepStartArguments(argc, argv);
        return StartModule::Main();
    } catch (...) {
        // Nothing has been touched when an error gets this far; say what it was and stop.
        const Err::Error error = Err::Capture(std::current_exception());
        const std::string report =
            "Run-time error '" + std::to_string(error.Number()) + "':\n\n" + error.Description();
        try {
            Ui::MsgBox(report, Components::kMbIconStop);
        } catch (...) {
            std::fprintf(stderr, "%s\n", report.c_str());
        }
        return 1;
    }
}
