// A database file read through Win32, for the structural check: the checker's files and the
// engine's copy alike.
#pragma once

#include <memory>
#include <string>

#include "components/jet/DatabaseCheck.h"

namespace Components::Win {

// The file `path` (UTF-8) opened for reading only and shared with every other reader and
// writer, so a database in use elsewhere can still be read. Raises Err::Error naming the path
// when it cannot be opened or is no file on a disk.
std::unique_ptr<Jet::PageSource> OpenFilePages(const std::string& path);

}  // namespace Components::Win
