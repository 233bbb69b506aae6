#include "components/CommandLine.h"

#include <iostream>

#include "components/CurrentError.h"
#include "components/posix/TypedPath.h"

namespace Components {

namespace {

std::vector<std::string>& Kept() {
    static std::vector<std::string> arguments;
    return arguments;
}

class PosixCommandLine final : public CommandLine {
  public:
    std::vector<std::string> Arguments() override { return Kept(); }

    std::string FullPath(std::string argument) override { return Posix::TypedPath(argument, ""); }

    bool SlashOptions() override { return false; }

    // A console is always there to be written to, and writing never waits on anyone.
    void Tell(std::string text, bool problem, bool) override {
        std::ostream& out = problem ? std::cerr : std::cout;
        out << text << "\n";
        out.flush();
        if (!out) {
            out.clear();
            Err::Raise(57, "Tell: the text could not be written");
        }
    }

    void TellOutcome(std::string, bool) override {}
};

}  // namespace

void KeepStartArguments(int argc, char** argv) {
    Kept().assign(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
}

std::unique_ptr<CommandLine> CreatePlatformInstance(Tag<CommandLine>) {
    return std::make_unique<PosixCommandLine>();
}

}  // namespace Components
