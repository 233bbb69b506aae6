// The compact operation called silently, as callers other than the program's own start-up
// call it, in a child process with the platform's own components: no box however it ends,
// and a failure in the log only.
#include "database/DAO_DatabaseFunctions.h"
#include "support/WholeRun.h"

namespace {

using namespace WholeRun;

class CompactRepair : public Scratch {
  protected:
    CompactRepair() : Scratch(true) {}
};

TEST_F(CompactRepair, SilentlyNoBoxIsShownAndAFailureGoesToTheLogOnly) {
    const fs::path db = data / "Shop.mdb";
    const struct {
        std::string bytes;
        int answer;  // 0 for True (all bits set), 1 for False
        std::set<std::string> left;
        std::string logged;
    } cases[] = {
        {Database::Small(), 0, {"Shop.mdb", "Shop-0001.BAK"}, ""},
        {"just some text",
         1,
         {"Shop.mdb"},
         "There was a problem Compacting/Repairing the database: " + db.string() +
             " and the error's description was reported as : \n\n\"Unrecognized database "
             "format '" +
             db.string() + "': it does not begin as a database file does. (3343)\"\r\n"},
    };
    for (const auto& c : cases) {
        Reset();
        WriteFile(db, c.bytes);
        const Outcome run = Wait(Start("", [&] {
            std::shared_ptr<Components::DialogObject> noDialog;
            const auto answer = DAO_DatabaseFunctions::CompactRepairDatabase(db, noDialog, "", 1);
            return answer == -1 ? 0 : answer == 0 ? 1 : 2;
        }));
        EXPECT_EQ(run.Status(), c.answer);
        EXPECT_EQ(run.output, "") << "no box";
        EXPECT_EQ(Files(), c.left);
        EXPECT_TRUE(Log().ends_with(c.logged)) << Log();
    }
}

}  // namespace
