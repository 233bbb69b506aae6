// How the engine stand-in's failures become the engine's own error numbers and descriptions,
// so that its reports read as the engine's do on Windows.
#pragma once

#include <cstdint>
#include <string>

namespace Components::Posix {

// Raises `number` with `description`; a system error other than 0 is kept as the last DLL
// error and named after the description.
[[noreturn]] void RaiseEngine(std::int32_t number, int error, const std::string& description);

// Opening the database failed with `error`.
[[noreturn]] void RaiseOpenSource(int error, const std::string& source);
// Reading the database failed with `error`.
[[noreturn]] void RaiseRead(int error, const std::string& source);
// The database is in use: locked by another process, or it shrank while it was copied.
[[noreturn]] void RaiseInUse(const std::string& source);
// Making or writing the copy failed with `error`, while `doing` ("creating", "writing", …).
[[noreturn]] void RaiseWrite(int error, const std::string& destination, const char* doing);

}  // namespace Components::Posix
