// What the Wine suite's stand-in engine does to the files it is given, as the engine it plays
// would: a copy that lost a row, a header that keeps a password.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The whole file, or nothing when it cannot be read.
std::vector<std::uint8_t> ReadAll(const wchar_t* path);
// Marks the first live row of the first user table deleted in the file: the copy then lacks
// the row or, where the table has an index, holds an index entry for a row that is gone.
bool DropRow(const std::wstring& path);
// Writes `password` into a Jet4 header as the engine keeps it: masked with the creation
// date's whole part, inside the scrambled range.
bool SetPassword(const wchar_t* path, const std::wstring& password);
