// The engine stand-in's exclusive use of a database: the lock another copy of the program, or
// a process that locks the way the engine does, meets while a compaction runs.
#pragma once

#include <string>

namespace Components::Posix {

class DatabaseLock {
  public:
    // Locks the database at `path`, open for reading on `fd`, which must stay open as long as
    // the lock is held. Raises the engine's 3045 when another process holds it, 3050 when the
    // file system gives no lock at all.
    DatabaseLock(const std::string& path, int fd);
    ~DatabaseLock();
    DatabaseLock(const DatabaseLock&) = delete;
    DatabaseLock& operator=(const DatabaseLock&) = delete;

  private:
    int own_ = -1;  // a descriptor opened for writing, for file systems that lock only those
};

}  // namespace Components::Posix
