#include "components/EngineChoice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using Components::ChooseEngines;
using Names = std::vector<std::string>;
const std::string kOld = Components::kJet4Engine, kNew = Components::kAceEngine;

struct Row {
    std::optional<unsigned> version;
    bool program64;
    Names registered, engines, readers;
    std::string missing;  // a part of the report's description; empty: no report of its own
};

// The report's words for each case: the format and the engine it needs.
const std::string k1997 = "1997 format, which needs the engine DAO.DBEngine.36;",
                  kEither =
                      "2000/2003 format, which needs the engine DAO.DBEngine.36 or "
                      "DAO.DBEngine.120;",
                  kLater = "2007 format or later, which needs the engine DAO.DBEngine.120;",
                  kTo32 =
                      "1997 format, which needs the engine DAO.DBEngine.36, and only the "
                      "32-bit program can load it";

TEST(EngineChoice, ByFormatWidthAndRegisteredEngines) {
    const Row rows[] = {
        {0, false, {kOld, kNew}, {kOld, kNew}, {kOld}, k1997},
        {1, false, {kNew, kOld}, {kOld, kNew}, {kOld, kNew}, kEither},
        {2, false, {kOld, kNew}, {kNew}, {kNew}, kLater},
        {6, false, {kOld}, {}, {kNew}, kLater},
        {0, false, {kNew}, {kNew}, {kOld}, k1997},
        {0, true, {kOld, kNew}, {kNew}, {}, kTo32},
        {3, true, {kNew}, {kNew}, {kNew}, kLater},
        {std::nullopt, false, {kNew, kOld}, {kOld, kNew}, {}, ""},
        {std::nullopt, true, {kNew}, {kNew}, {}, ""},
        {2, false, {}, {}, {kNew}, ""},
        {1, true, {kOld}, {}, {kNew}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "version " << row.version.value_or(99) << ", " << (row.program64 ? 64 : 32)
                     << "-bit, " << row.registered.size() << " registered");
        const auto choice = ChooseEngines(row.version, row.program64, row.registered, "D:\\x.mdb");
        EXPECT_EQ(choice.Engines, row.engines);
        EXPECT_EQ(choice.Readers, row.readers);
        if (row.missing.empty()) {
            EXPECT_EQ(choice.Missing, "");
        } else {
            EXPECT_THAT(choice.Missing,
                        testing::StartsWith("'D:\\x.mdb' is a database of the " + row.missing));
            EXPECT_THAT(choice.Missing, testing::EndsWith(". The database has not been changed"));
        }
    }
}

}  // namespace
