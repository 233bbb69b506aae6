// The stand-in's copy of a database, made so that a crash or a power cut never leaves a half
// copy under the destination's name. Failures raise the engine's own numbers.
#pragma once

#include <cstdint>
#include <string>

namespace Components::Posix {

// Where the file system can, the copy is written into a file that has no name yet (mode
// 0600) and is named only once it is whole and synced. -1 when no such file can be made here:
// the named file is used then.
int OpenUnnamed(const std::string& destination);

// The copy made under its name, mode 0600; never over an existing file or link.
int CreateNamed(const std::string& destination);

// Gives the unnamed copy its name; like O_EXCL, never over a file or a link that is there.
void Name(int fd, const std::string& destination);

// Copies exactly `size` bytes from the start of `in` to `out`: in the kernel where it can,
// through one bounded buffer where it cannot. A source that ends sooner is in use.
void CopyBytes(int in, int out, std::uint64_t size, const std::string& source,
               const std::string& destination);

}  // namespace Components::Posix
