#include "components/EngineChoice.h"

#include <gtest/gtest.h>

namespace {

using Names = std::vector<std::string>;
const std::string kOld = Components::kJet4Engine, kNew = Components::kAceEngine;
const std::string k1997 = "1997 format, which needs the engine ",
                  k2000 = "2000/2003 format, which needs the engine ",
                  kLater = "2007 format or later, which needs the engine ";

// The format byte (none: the file cannot be read), a 64-bit program, the engines registered;
// the engines asked, those that read the format, and how the report begins when none of
// them compacts the file (empty: the engine's own error, or 429, stands).
TEST(EngineChoice, ByFormatWidthAndRegisteredEngines) {
    const std::tuple<std::optional<unsigned>, bool, Names, Names, Names, std::string> rows[] = {
        {0, false, {kOld, kNew}, {kOld, kNew}, {kOld}, k1997 + kOld + ";"},
        {1, false, {kNew, kOld}, {kOld, kNew}, {kOld, kNew}, k2000 + kOld + " or " + kNew + ";"},
        {2, false, {kOld, kNew}, {kNew}, {kNew}, kLater + kNew + ";"},
        {6, false, {kOld}, {}, {kNew}, kLater + kNew + ";"},
        {0, true, {kOld, kNew}, {kNew}, {}, k1997 + kOld + ", and only the 32-bit program"},
        {std::nullopt, false, {kNew, kOld}, {kOld, kNew}, {}, ""},
        {2, false, {}, {}, {kNew}, ""},
        {1, true, {kOld}, {}, {kNew}, ""},
    };
    for (const auto& [version, program64, registered, engines, readers, report] : rows) {
        SCOPED_TRACE(testing::Message() << version.value_or(99) << (program64 ? " 64" : " 32"));
        const auto choice = Components::ChooseEngines(version, program64, registered, "D:\\x.mdb");
        const std::string begins =
            report.empty() ? "" : "'D:\\x.mdb' is a database of the " + report;
        EXPECT_EQ(choice.Engines, engines);
        EXPECT_EQ(choice.Readers, readers);
        EXPECT_EQ(choice.Missing.substr(0, report.empty() ? std::string::npos : begins.size()),
                  begins);
    }
}

}  // namespace
