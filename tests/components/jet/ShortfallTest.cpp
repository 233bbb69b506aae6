// What a compacted copy lacks against its source, in the words of the failure it causes.
#include <gtest/gtest.h>

#include "components/jet/DatabaseCheck.h"

namespace {

using Jet::Verdict;

Jet::CheckReport Report(Verdict outcome, std::vector<Jet::TableRows> tables,
                        std::string finding = "") {
    Jet::CheckReport r;
    r.Outcome = outcome;
    r.Finding = std::move(finding);
    r.Tables = std::move(tables);
    return r;
}

const Jet::CheckReport kSource =
    Report(Verdict::kSound,
           {{"MSysObjects", true, 40}, {"Orders", false, 1203}, {"Customers", false, 17}});

struct Case {
    const char* what;
    Jet::CheckReport copy;
    std::optional<std::string> expected;
};

TEST(JetCopyShortfall, NamesWhatTheCopyLacks) {
    const std::string tail = "; the database has not been replaced";
    const std::string head = "The compacted copy 'C:\\Data\\TOL3F2A.MDB' ";
    const std::vector<Case> cases = {
        {"every row, fewer system rows",
         Report(Verdict::kSound,
                {{"Customers", false, 17}, {"Orders", false, 1203}, {"MSysObjects", true, 38}}),
         std::nullopt},
        {"rows missing",
         Report(Verdict::kSound,
                {{"MSysObjects", true, 40}, {"Orders", false, 1200}, {"Customers", false, 17}}),
         head + "holds 1200 of the 1203 rows of table Orders" + tail},
        {"a table missing",
         Report(Verdict::kSound, {{"MSysObjects", true, 40}, {"Orders", false, 1203}}),
         head + "lacks table Customers" + tail},
        {"the copy damaged",
         Report(Verdict::kDamaged, kSource.Tables,
                "table Orders, page 9: row 3 starts past the end"),
         head + "is damaged: table Orders, page 9: row 3 starts past the end" + tail},
        {"the engine's list of records it could not copy",
         Report(Verdict::kSound,
                {{"Orders", false, 1203}, {"Customers", false, 17}, {"MSysCompactError", true, 2}}),
         head + "lists 2 records the engine could not copy in its table MSysCompactError" + tail},
        {"an empty list of such records",
         Report(Verdict::kSound,
                {{"Orders", false, 1203}, {"Customers", false, 17}, {"MSysCompactError", true, 0}}),
         std::nullopt},
        {"a copy that could not be checked is taken as it is",
         Report(Verdict::kNotChecked, {}, "a column type this reader does not know"), std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Jet::CopyShortfall(kSource, c.copy, "C:\\Data\\TOL3F2A.MDB"), c.expected)
            << c.what;
    }
    const auto unchecked = Report(Verdict::kNotChecked, {}, "a cipher");
    EXPECT_EQ(Jet::CopyShortfall(unchecked, Report(Verdict::kSound, {}), "x"), std::nullopt);
}

}  // namespace
