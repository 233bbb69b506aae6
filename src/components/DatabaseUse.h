// Whether someone else has a database open, and what the lock file beside it says of who.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <cstddef>
#include <string>

namespace Components {

class DatabaseUse {
  public:
    virtual ~DatabaseUse() = default;

    // True when another process, or another computer through a file share, has the database
    // open in a way the engine's own exclusive use would meet, at the moment of asking: the
    // question takes that use itself and lets it go again. False when it is free, and also
    // when the question cannot be put (no such file, no permission): the engine reports those
    // in its own words. Never changes the file.
    virtual bool InUse(std::string path) = 0;

    // At most `limit` bytes from the start of the file, as they are; empty when there is no
    // such file or it cannot be read. Opened shared, so a file others hold open can be read.
    virtual std::string ReadStart(std::string path, std::size_t limit) = 0;

    // Text in the system's narrow code page (as lock files hold names) turned into UTF-8; on
    // POSIX, which has none, valid UTF-8 stays as it is and anything else is read as Latin-1.
    virtual std::string FromNarrow(std::string bytes) = 0;
};

std::unique_ptr<DatabaseUse> CreatePlatformInstance(Tag<DatabaseUse>);

}  // namespace Components
