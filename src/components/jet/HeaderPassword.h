// The database password as the header keeps it, read the way the engine checks it, and the
// check that a compacted copy is shut to everyone its source shut out.
#pragma once

#include <optional>
#include <string>

#include "components/jet/DatabaseCheck.h"

namespace Jet {

struct HeaderSecret {
    bool Database = false;   // the header is a database's, of a version this reader knows
    bool Encrypted = false;  // a cipher guards the pages (.accdb): the password is not in it
    std::string Password;    // UTF-8; empty when the database has none (or when Encrypted)
    bool Protected() const { return Encrypted || !Password.empty(); }
};

// Page 0 of `source`, unscrambled, its password area unmasked: 20 code-page bytes on the 1997
// format, 20 UTF-16 units XORed with the creation date's whole part on later ones. Never
// throws; a file that is no database reads as none, with no password.
HeaderSecret ReadHeaderSecret(const PageSource& source);

// Where the compacted copy would let in someone its source shut out: the description of the
// failure, naming `copyName`, or nothing when the copy carries the same password or is still
// encrypted as its source was. Says nothing of the password itself.
std::optional<std::string> SecretLost(const HeaderSecret& source, const HeaderSecret& copy,
                                      const std::string& copyName);

}  // namespace Jet
