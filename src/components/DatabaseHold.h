// Keeps a compacted database from being written between the engine's return and the moment
// its copy takes its name: an edit made in that window would otherwise stay behind in the
// backup, lost from the live database.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "components/Instance.h"

namespace Components {

// A file as the file system tells it now.
struct FileState {
    std::string Identity;        // the file itself, whatever its name: device and inode, or
                                 // volume serial and file index
    std::uint64_t Size = 0;      // bytes
    std::int64_t LastWrite = 0;  // in the platform's own ticks
    std::uint32_t Links = 0;     // names the file has
    // The same file at the same size as before the engine ran, and written by no one since
    // it was held: an engine writes the header of the database it opens, so the last write
    // time before it ran says nothing.
    bool Unchanged(const FileState& beforeEngine, const FileState& whenHeld) const {
        return Identity == beforeEngine.Identity && Size == beforeEngine.Size &&
               LastWrite == whenHeld.LastWrite;
    }
};

class DatabaseHold {
  public:
    virtual ~DatabaseHold() = default;

    // What `path` names now, following links. Raises Err::Error when it cannot be asked.
    virtual FileState State(std::string path) = 0;

    // Opens the database so that others (and the proof of the copy) may read it but nobody
    // may write it, until Release; it may still be renamed meanwhile. Holding a path already
    // held does nothing. Raises Err::Error with the engine's in-use number when another
    // process has it open for writing or holds its lock.
    virtual void Hold(std::string path) = 0;

    // Lets go of what Hold holds; never fails.
    virtual void Release() = 0;
};

std::unique_ptr<DatabaseHold> CreatePlatformInstance(Tag<DatabaseHold>);

}  // namespace Components
