// The verdict on an engine's copy from the checks of the copy and its source: refused (and
// why, in the words of the failure), accepted unproven (one log line), or proven.
#include <gtest/gtest.h>

#include "components/jet/CopyProof.h"

namespace {

using Jet::Verdict;

Jet::CheckReport Report(Verdict outcome, std::vector<Jet::TableRows> tables, std::string why = "") {
    return {outcome, std::move(why), std::move(tables), {}, {}};
}

TEST(JetCopyProof, RefusesWhatItCannotProveAndNotesWhatItDoesNotKnow) {
    const std::string copy = "The compacted copy 'C' ",
                      tail = "; the database has not been replaced";
    const std::string accepted = copy + "was accepted as the engine made it: ";
    const auto sound =
        Report(Verdict::kSound, {{"MSysObjects", true, 40}, {"A", false, 5}, {"B", false, 17}});
    const struct {
        Jet::CheckReport source, copy;
        std::string refused, note;
    } cases[] = {
        // Every row, fewer system rows, no record the engine could not copy.
        {sound,
         Report(Verdict::kSound,
                {{"B", false, 17}, {"A", false, 5}, {"MSysCompactError", true, 0}}),
         "", ""},
        {sound, Report(Verdict::kSound, {{"A", false, 4}, {"B", false, 17}}),
         copy + "holds 4 of the 5 rows of table A" + tail, ""},
        {sound, Report(Verdict::kSound, {{"A", false, 5}}), copy + "lacks table B" + tail, ""},
        {sound, Report(Verdict::kDamaged, sound.Tables, "page 9"),
         copy + "is damaged: page 9" + tail, ""},
        {sound,
         Report(Verdict::kSound,
                {{"A", false, 5}, {"B", false, 17}, {"MSysCompactError", true, 2}}),
         copy + "lists 2 records the engine could not copy in its table MSysCompactError" + tail,
         ""},
        // Records an earlier compaction left were lost then, not now.
        {Report(Verdict::kSound, {{"A", false, 5}, {"MSysCompactError", true, 2}}),
         Report(Verdict::kSound, {{"A", false, 5}, {"MSysCompactError", true, 3}}),
         copy + "lists 1 records the engine could not copy in its table MSysCompactError" + tail,
         ""},
        {Report(Verdict::kSound, {{"A", false, 5}, {"MSysCompactError", true, 2}}),
         Report(Verdict::kSound, {{"A", false, 5}, {"MSysCompactError", true, 2}}), "", ""},
        {sound, Report(Verdict::kNotChecked, {}, "a kind"), "",
         accepted + "its structure could not be checked: a kind."},
        // Rows read from a damaged source are still rows the copy must hold.
        {Report(Verdict::kDamaged, sound.Tables, "x"), Report(Verdict::kSound, {{"A", false, 4}}),
         copy + "holds 4 of the 5 rows of table A" + tail, ""},
        {Report(Verdict::kNotChecked, {}, "a cipher."), sound, "",
         accepted + "the structure of the database 'S' could not be checked: a cipher."},
        {Report(Verdict::kNotADatabase, {}, "no"), Report(Verdict::kNotADatabase, {}, "no"), "",
         accepted + "the structure of the database 'S' could not be checked: no."},
        {Report(Verdict::kUnreadable, {}, "page 3"), sound,
         copy + "cannot be proven: the database 'S' cannot be read: page 3" + tail, ""},
        {Report(Verdict::kNotChecked, {}, "a cipher"), Report(Verdict::kUnreadable, {}, "denied"),
         copy + "cannot be read: denied" + tail, ""},
    };
    for (const auto& [source, copied, refused, note] : cases) {
        const Jet::CopyProof proof = Jet::ProveCopy(source, copied, "S", "C");
        EXPECT_EQ(proof.Shortfall.value_or(""), refused);
        EXPECT_EQ(proof.Note, note) << refused;
        // This platform's engine asks for the shortfall alone, whatever the source's verdict.
        const bool checked =
            source.Outcome == Verdict::kSound || source.Outcome == Verdict::kDamaged;
        EXPECT_EQ(Jet::CopyShortfall(source, copied, "C"), checked ? proof.Shortfall : std::nullopt)
            << refused;
    }
}

}  // namespace
