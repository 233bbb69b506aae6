#include "components/EngineChoice.h"

#include <algorithm>

namespace Components {

namespace {

bool Reads(const std::string& engine, unsigned version) {
    return engine == kJet4Engine ? version <= 1 : version >= 1;
}

std::string FormatName(unsigned version) {
    if (version == 0) return "the 1997 format";
    if (version == 1) return "the 2000/2003 format";
    return "the 2007 format or later";
}

}  // namespace

EngineChoice ChooseEngines(std::optional<unsigned> version, bool program64,
                           const std::vector<std::string>& registered, const std::string& path) {
    std::vector<std::string> loadable{kAceEngine};
    if (!program64) loadable.insert(loadable.begin(), kJet4Engine);

    EngineChoice choice;
    for (const std::string& engine : loadable) {
        // A 1997 file still goes to the newer engine: its first releases read that format.
        const bool asked = engine == kAceEngine || !version || Reads(engine, *version);
        if (asked && std::ranges::find(registered, engine) != registered.end()) {
            choice.Engines.push_back(engine);
        }
        if (version && Reads(engine, *version)) choice.Readers.push_back(engine);
    }
    const bool anyRegistered = std::ranges::any_of(loadable, [&](const std::string& engine) {
        return std::ranges::find(registered, engine) != registered.end();
    });
    if (!version || !anyRegistered) return choice;

    choice.Missing = "'" + path + "' is a database of " + FormatName(*version) + ", which needs ";
    if (choice.Readers.empty()) {
        choice.Missing += std::string("the engine ") + kJet4Engine +
                          ", and only the 32-bit program can load it: compact this database "
                          "with the 32-bit program";
    } else if (choice.Readers.size() == 1) {
        choice.Missing += "the engine " + choice.Readers[0] +
                          "; it is not installed on this computer or cannot be started";
    } else {
        choice.Missing += "the engine " + choice.Readers[0] + " or " + choice.Readers[1] +
                          "; neither is installed on this computer or can be started";
    }
    choice.Missing += ". The database has not been changed";
    return choice;
}

}  // namespace Components
