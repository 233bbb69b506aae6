// What the program was started with, and how it answers someone who started it by hand.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <string>
#include <vector>

namespace Components {

class CommandLine {
  public:
    virtual ~CommandLine() = default;

    // The arguments after the program's own name, in UTF-8, as the user gave them (quotes
    // taken off as the platform's shell or loader takes them off).
    virtual std::vector<std::string> Arguments() = 0;

    // The full path of a file named on the command line, so that it is the same file whatever
    // folder the program works in; on a platform with symbolic links the last part is followed
    // as the file-open dialog follows it. Raises Err::Error when no full path can be made.
    virtual std::string FullPath(std::string argument) = 0;

    // Whether the options a run may take are also written with a slash (/keep 7): not where
    // a slash begins a path. /compact and /? are read everywhere.
    virtual bool SlashOptions() = 0;

    // Shows `text` to whoever started the program: where there is a console, on standard output
    // (standard error when `problem`); where there is none, in a message box, except for an
    // `unattended` run, which no one may be watching and which must never wait: that one has
    // only its log. Raises Err::Error when it cannot be shown.
    virtual void Tell(std::string text, bool problem, bool unattended) = 0;

    // Hands an unattended run's outcome line, which the log already holds, to a console that
    // waits for the program: standard output, or standard error when `failed`. Only the Windows
    // console program has such a console; elsewhere nothing is written, so that a scheduled
    // run on Linux stays silent. Raises Err::Error when a console cannot take the line.
    virtual void TellOutcome(std::string line, bool failed) = 0;
};

std::unique_ptr<CommandLine> CreatePlatformInstance(Tag<CommandLine>);

// The entry point hands over what it was started with before anything asks; a platform with
// a command line of its own (in UTF-16) reads that instead.
void KeepStartArguments(int argc, char** argv);

}  // namespace Components
