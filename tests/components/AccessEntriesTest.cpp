#include "components/AccessEntries.h"

#include <gtest/gtest.h>

namespace {

using Components::AccessEntry;
using Entries = std::vector<AccessEntry>;
const AccessEntry kUserReads{"S-1-5-21-1", true, 0x1200a9},
    kUserModifies{"S-1-5-21-1", true, 0x1301bf}, kUserWrites{"S-1-5-21-1", true, 0x110116},
    kGuestDenied{"S-1-5-32-546", false, 0x1f01ff},
    kGuestDeniedWrite{"S-1-5-32-546", false, 0x100116},
    kUsersModify{"S-1-5-32-545", true, 0x1301bf};

// The database's entries, the copy's, and the entry by which the copy grants more.
TEST(AccessEntries, ACopyGrantsMoreByAWiderAllowOrAMissingDeny) {
    const std::tuple<const char*, Entries, Entries, std::optional<AccessEntry>> rows[] = {
        {"the same entries", {kUserModifies, kGuestDenied}, {kUserModifies, kGuestDenied}, {}},
        {"fewer rights", {kUserModifies}, {kUserReads}, {}},
        {"rights split over two entries", {kUserReads, kUserWrites}, {kUserModifies}, {}},
        {"a wider allow", {kUserReads}, {kUserModifies}, kUserModifies},
        {"an account the database lacks", {kUsersModify}, {kUsersModify, kUserReads}, kUserReads},
        {"a deny lost", {kUserReads, kGuestDenied}, {kUserReads}, kGuestDenied},
        {"a deny narrowed", {kGuestDenied}, {kGuestDeniedWrite}, kGuestDenied},
    };
    for (const auto& [name, database, copy, wider] : rows) {
        EXPECT_EQ(Components::FirstWiderEntry(database, copy), wider) << name;
    }
}

}  // namespace
