// The entries of two access lists compared, platform-free: whether a copy of a file lets anyone
// further in than the file it was made from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Components {

// One entry that applies to the file itself, its rights with generic ones already mapped.
struct AccessEntry {
    std::string Sid;
    bool Allows = true;  // false: the entry denies
    std::uint32_t Mask = 0;
    bool operator==(const AccessEntry&) const = default;
};

// The first entry by which `copy` grants more than `database`: an entry of the copy allowing
// an account a right that no entry of the database allows that same account, or an entry of
// the database denying an account a right that no entry of the copy denies it. Nothing when
// the copy grants no more. Only the same account counts: a right the database gives a group
// does not cover that right given to one of its members.
std::optional<AccessEntry> FirstWiderEntry(const std::vector<AccessEntry>& database,
                                           const std::vector<AccessEntry>& copy);

}  // namespace Components
