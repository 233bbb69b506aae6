// A database file read through Win32, for the structural check: the checker's files and the
// engine's copy alike.
#pragma once

#include <memory>
#include <string>

#include "components/jet/DatabaseCheck.h"
#include "components/jet/HeaderPassword.h"

namespace Components::Win {

// The file `path` (UTF-8) opened for reading only and shared with every other reader and
// writer, so a database in use elsewhere can still be read. Raises Err::Error naming the path
// when it cannot be opened or is no file on a disk.
std::unique_ptr<Jet::PageSource> OpenFilePages(const std::string& path);

// The check of the file `path`; a file that cannot even be opened reads as unreadable, and
// leaves no error behind.
Jet::CheckReport CheckFile(const std::string& path);
// The password its header keeps; unreadable reads as no database, which a source with a
// password never is.
Jet::HeaderSecret ReadSecret(const std::string& path);

}  // namespace Components::Win
