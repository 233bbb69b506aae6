// Which database engine a compaction asks for, by the format of the file. The engine of the
// 2000 format's generation exists for 32-bit programs only and reads no file from 2007 on; the
// one after it reads those, and today's releases of it no longer read the 1997 format. Where
// both are registered, asking either for every file fails on one format or the other.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Components {

inline constexpr const char* kJet4Engine = "DAO.DBEngine.36";
inline constexpr const char* kAceEngine = "DAO.DBEngine.120";

struct EngineChoice {
    // The registered engines to ask, in order: the next one is asked when one cannot be
    // created or refuses the format with 3343.
    std::vector<std::string> Engines;
    // The engines the program can load that read the format; empty when it is not known.
    std::vector<std::string> Readers;
    // The description of the error that ends the run when no engine of Readers could be
    // created and asked: the file, its format and the engine it needs. Empty when the format
    // is not known or no engine is registered at all; the last engine's own error (or 429)
    // then stands, as it does when one of Readers refused the file.
    std::string Missing;
};

// `version` is the byte at offset 0x14 of the database `path` (0 for the 1997 format, 1 for
// 2000/2003, 2 and up for 2007 and later), or nothing when the file cannot be read: every
// engine the program can load is then asked, the older one first. `registered` names the engines
// registered on this computer; the 64-bit program passes over DAO.DBEngine.36, which it
// cannot load.
EngineChoice ChooseEngines(std::optional<unsigned> version, bool program64,
                           const std::vector<std::string>& registered, const std::string& path);

}  // namespace Components
