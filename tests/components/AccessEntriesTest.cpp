#include "components/AccessEntries.h"

#include <gtest/gtest.h>

namespace {

using Entries = std::vector<Components::AccessEntry>;
const Components::AccessEntry kReads{"S-1-5-21-1", true, 0x1200a9},
    kModifies{"S-1-5-21-1", true, 0x1301bf}, kWritesDeletes{"S-1-5-21-1", true, 0x110116},
    kOtherReads{"S-1-5-32-545", true, 0x1200a9}, kGuestDenied{"S-1-5-32-546", false, 0x1f01ff};

// The database's entries, the copy's, and the entry by which the copy grants more.
TEST(AccessEntries, ACopyGrantsMoreByAWiderAllowOrAMissingDeny) {
    const std::tuple<Entries, Entries, std::optional<Components::AccessEntry>> rows[] = {
        {{kModifies, kGuestDenied}, {kReads, kGuestDenied}, {}},
        {{kReads, kWritesDeletes}, {kModifies}, {}},
        {{kReads}, {kModifies}, kModifies},
        {{kOtherReads}, {kOtherReads, kReads}, kReads},
        {{kReads, kGuestDenied}, {kReads}, kGuestDenied},
        {{kGuestDenied}, {{"S-1-5-32-546", false, 0x6}}, kGuestDenied},
    };
    for (const auto& [database, copy, wider] : rows) {
        EXPECT_EQ(Components::FirstWiderEntry(database, copy), wider) << copy.size();
    }
}

}  // namespace
