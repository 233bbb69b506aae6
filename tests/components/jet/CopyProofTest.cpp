// The verdict on an engine's copy from the checks of the copy and its source: refused (and
// why), accepted unproven (one log line), or proven.
#include <gtest/gtest.h>

#include "components/jet/CopyProof.h"

namespace {

using Jet::Verdict;

Jet::CheckReport Report(Verdict outcome, std::string finding = "", std::uint64_t rows = 5) {
    Jet::CheckReport r;
    r.Outcome = outcome;
    r.Finding = std::move(finding);
    r.Tables = {{"Orders", false, rows}};
    return r;
}

TEST(JetCopyProof, RefusesWhatItCannotProveAndNotesWhatItDoesNotKnow) {
    const std::string copy = "The compacted copy 'C:\\D\\TOL1.MDB' ";
    const std::string tail = "; the database has not been replaced";
    const std::string accepted = copy + "was accepted as the engine made it: ";
    struct Case {
        const char* what;
        Jet::CheckReport source, copy;
        std::optional<std::string> shortfall;
        std::string note;
    } cases[] = {
        {"a damaged source: its readable rows count", Report(Verdict::kDamaged, "x"),
         Report(Verdict::kSound, "", 4), copy + "holds 4 of the 5 rows of table Orders" + tail, ""},
        {"a source not known",
         Report(Verdict::kNotChecked, "a cipher."),
         Report(Verdict::kSound, "", 0),
         {},
         accepted + "the structure of the database 'C:\\D\\S.mdb' could not be checked: a cipher."},
        {"a source the reader takes for none",
         Report(Verdict::kNotADatabase, "no signature"),
         Report(Verdict::kNotADatabase, "no signature"),
         {},
         accepted + "the structure of the database 'C:\\D\\S.mdb' could not be checked: no "
                    "signature."},
        {"a copy not known",
         Report(Verdict::kSound),
         Report(Verdict::kNotChecked, "a page kind"),
         {},
         accepted + "its structure could not be checked: a page kind."},
        {"a source that cannot be read", Report(Verdict::kUnreadable, "page 3"),
         Report(Verdict::kSound),
         copy + "cannot be proven: the database 'C:\\D\\S.mdb' cannot be read: page 3" + tail, ""},
        {"a copy that cannot be read", Report(Verdict::kNotChecked, "a cipher"),
         Report(Verdict::kUnreadable, "Access denied"),
         copy + "cannot be read: Access denied" + tail, ""},
    };
    for (const Case& c : cases) {
        const Jet::CopyProof proof =
            Jet::ProveCopy(c.source, c.copy, "C:\\D\\S.mdb", "C:\\D\\TOL1.MDB");
        EXPECT_EQ(proof.Shortfall, c.shortfall) << c.what;
        EXPECT_EQ(proof.Note, c.note) << c.what;
    }
}

}  // namespace
