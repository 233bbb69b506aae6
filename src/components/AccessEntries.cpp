#include "components/AccessEntries.h"

namespace Components {

namespace {

// The rights that entries of one kind give or take from one account, together.
std::uint32_t Rights(const std::vector<AccessEntry>& entries, const std::string& sid, bool allows) {
    std::uint32_t mask = 0;
    for (const AccessEntry& entry : entries) {
        if (entry.Sid == sid && entry.Allows == allows) mask |= entry.Mask;
    }
    return mask;
}

bool Covers(std::uint32_t have, std::uint32_t wanted) { return (wanted & ~have) == 0; }

}  // namespace

std::optional<AccessEntry> FirstWiderEntry(const std::vector<AccessEntry>& database,
                                           const std::vector<AccessEntry>& copy) {
    for (const AccessEntry& entry : copy) {
        if (entry.Allows && !Covers(Rights(database, entry.Sid, true), entry.Mask)) return entry;
    }
    for (const AccessEntry& entry : database) {
        if (!entry.Allows && !Covers(Rights(copy, entry.Sid, false), entry.Mask)) return entry;
    }
    return std::nullopt;
}

}  // namespace Components
