// What the program does to files besides asking about them.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <string>

namespace Components {

class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // Gives the file `from` the name `to` and never replaces a file: fails when `to` exists
    // or `from` does not. On failure nothing has changed and Err::Error is raised.
    virtual void Rename(std::string from, std::string to) = 0;

    // Deletes the file; raises Err::Error when it cannot (missing, locked, a folder).
    virtual void Kill(std::string path) = 0;

    // The folder a log file is written in first, ending in the path separator; raises
    // Err::Error when the platform knows of none.
    virtual std::string LogFolder() = 0;

    // Opens the file for appending (created when absent, its folder too where the platform
    // allows), shared with other processes for reading and writing, writes `bytes` as they
    // are, and closes it again, also after a failed write. Raises Err::Error on failure.
    virtual void AppendToFile(std::string path, std::string bytes) = 0;

    // Appends `bytes` to the log file `name` (no folder) as AppendToFile does, in LogFolder().
    // Where that folder cannot take them and the platform has a second one, they go there
    // instead, under the same name: on Windows c:\ first, else %LOCALAPPDATA%\Tolvane\, made
    // when needed. Raises Err::Error when no folder took them.
    virtual void AppendToLog(std::string name, std::string bytes) = 0;
};

std::unique_ptr<FileSystem> CreatePlatformInstance(Tag<FileSystem>);

}  // namespace Components
