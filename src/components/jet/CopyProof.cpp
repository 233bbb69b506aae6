#include "components/jet/CopyProof.h"

namespace Jet {

std::string Sentence(std::string text) {
    while (!text.empty() && text.back() == '.') text.pop_back();
    return text + ".";
}

CopyProof ProveCopy(const CheckReport& source, const CheckReport& copy,
                    const std::string& sourceName, const std::string& copyName) {
    const std::string accepted =
        "The compacted copy '" + copyName + "' was accepted as the engine made it: ";
    const std::string tail = "; the database has not been replaced";
    if (copy.Outcome == Verdict::kUnreadable) {
        return {"The compacted copy '" + copyName + "' cannot be read: " + copy.Finding + tail, {}};
    }
    switch (source.Outcome) {
        case Verdict::kNotChecked:
        case Verdict::kNotADatabase:
            // The engine read what the reader does not know.
            return {{},
                    accepted + "the structure of the database '" + sourceName +
                        "' could not be checked: " + Sentence(source.Finding)};
        case Verdict::kUnreadable:
            return {"The compacted copy '" + copyName + "' cannot be proven: the database '" +
                        sourceName + "' cannot be read: " + source.Finding + tail,
                    {}};
        case Verdict::kSound:
        case Verdict::kDamaged:
            break;
    }
    if (copy.Outcome == Verdict::kNotChecked) {
        return {{}, accepted + "its structure could not be checked: " + Sentence(copy.Finding)};
    }
    return {CopyShortfall(source, copy, copyName), {}};
}

}  // namespace Jet
