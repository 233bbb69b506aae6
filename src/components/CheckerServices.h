// What the command-line checker needs of its platform: its arguments and the files it checks.
// The program reads a compacted database's format and size through the same open.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "components/Instance.h"
#include "components/jet/DatabaseCheck.h"

namespace Components {

class CheckerServices {
  public:
    virtual ~CheckerServices() = default;

    // The arguments after the program's name, in UTF-8 (on Windows read again as UTF-16 from
    // the process's command line, whatever the code page). Text written to the standard output
    // afterwards is shown as UTF-8; on Windows the console's own code page is put back as the
    // program ends.
    virtual std::vector<std::string> Arguments(int argc, char** argv) = 0;

    // The file `path` (UTF-8) opened for reading only, shared with every other reader and
    // writer, so that a database in use on a file server can be checked. Raises Err::Error
    // naming the path when it cannot be opened or is no regular file.
    virtual std::unique_ptr<Jet::PageSource> Open(const std::string& path) = 0;

    // A thread for a check beside the caller's, so that a check uses two cores; null where
    // there is none to be had.
    virtual std::unique_ptr<Jet::SecondThread> Beside() = 0;
};

std::unique_ptr<CheckerServices> CreatePlatformInstance(Tag<CheckerServices>);

}  // namespace Components
