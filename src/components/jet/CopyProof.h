// The proof that an engine's compacted copy lost nothing of its source, from the checks of
// both files: the same verdict and wording behind every platform's engine.
#pragma once

#include <optional>
#include <string>

#include "components/jet/DatabaseCheck.h"

namespace Jet {

struct CopyProof {
    // The description of the engine's error 3056: the copy lacks something, or cannot be
    // read, or its source cannot be read to compare it with. The copy is kept for the user.
    std::optional<std::string> Shortfall;
    // The one log line for a copy accepted as the engine made it, because the reader does not
    // know the source or the copy; else empty.
    std::string Note;
};

// `text` ending in exactly one full stop, as a finding closes a sentence of a report.
std::string Sentence(std::string text);

// A damaged source is compared by the rows that could be read from it: the copy must hold at
// least those, be sound itself, and list no records the engine could not copy.
CopyProof ProveCopy(const CheckReport& source, const CheckReport& copy,
                    const std::string& sourceName, const std::string& copyName);

}  // namespace Jet
