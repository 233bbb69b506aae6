// A database with a password, made from the tests' database by writing one into its header:
// unattended runs with the password stored or not, and one that asks on standard input. The
// password is never said, and the copy carries it. With a workgroup file, the engine signs in
// first: a missing one, or one that is no database, stops the run before anything is written.
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "components/Credentials.h"
#include "components/jet/HeaderPassword.h"
#include "components/jet/Reader.h"
#include "start/StartModule.h"
#include "support/WholeRun.h"

namespace {

using namespace WholeRun;

const std::string kPassword = "S3cr\xC3\xA9t";  // UTF-8, with a character beyond ASCII
const std::string kUserPassword = "Kim's-0wn";

// The password's UTF-16 units at 0x42, masked with the creation date's whole part, inside the
// header's scrambled range, as the engine keeps it.
std::string WithPassword(std::string bytes, const std::u16string& password) {
    std::vector<std::uint8_t> range(bytes.begin() + 0x18, bytes.begin() + 0x98);
    Jet::Detail::Rc4(0x6B39DAC7, range);
    double created = 0;
    std::memcpy(&created, range.data() + 0x72 - 0x18, sizeof created);
    const auto mask = static_cast<std::uint32_t>(static_cast<std::int32_t>(created));
    for (std::size_t i = 0; i < 40; ++i) {
        const char16_t unit = i / 2 < password.size() ? password[i / 2] : 0;
        range[0x42 - 0x18 + i] =
            static_cast<std::uint8_t>((i % 2 ? unit >> 8 : unit) ^ mask >> 8 * (i % 4));
    }
    Jet::Detail::Rc4(0x6B39DAC7, range);
    std::copy(range.begin(), range.end(), bytes.begin() + 0x18);
    return bytes;
}

std::string HeaderPassword(const std::string& bytes) {
    const std::vector<std::uint8_t> b(bytes.begin(), bytes.end());
    return Jet::ReadHeaderSecret(Jet::MemoryPageSource(b)).Password;
}

class Password : public Scratch {
  protected:
    Password() : Scratch(true) {}
};

TEST_F(Password, OnlyTheRightOneOpensTheDatabaseAndTheCopyKeepsIt) {
    const std::string db = (data / "Shop.mdb").string(), mdw = (data / "System.mdw").string(),
                      store = (root / "config/tolvane/passwords").string(),
                      signIn = "workgroup:" + mdw + ":Kim\t" + kUserPassword + "\n";
    const std::string kMissing =
        "Cannot start your application. The workgroup information file is "
        "missing or opened exclusively by another user: '" +
        mdw + "' (";
    const struct {
        const char* name;
        std::string lines;  // the user's store; none when empty
        mode_t mode;
        std::string input;  // answers on standard input: the run asks
        int status;         // -1: 0, and nothing done
        std::string said;
        const char* workgroup = nullptr;  // the workgroup file's bytes; "": none under its name
    } cases[] = {
        {"none stored", "", 0600, "", 3,
         "needs a password, and none is stored for it; store it as a line '" + db +
             "<TAB><password>' in '" + store + "'"},
        {"a wrong one", db + "\twrong\n", 0600, "", 3, "was not accepted"},
        {"its own line",
         "# mine\n\n" + data.string() + "/S*\twrong\n" + db + "\t" + kPassword + "\n", 0600, "", 0,
         "compacted"},
        // With a time limit the engine is a child that gets the password over its pipe.
        {"a pattern, with a time limit", data.string() + "/*.mdb\t" + kPassword + "\n", 0600, "", 0,
         "compacted"},
        {"a store others may read", db + "\t" + kPassword + "\n", 0644, "", 3,
         "The password store '" + store + "' may be read by others"},
        {"asked, a wrong one first", "", 0600, "y\ny\nwrong\n" + kPassword + "\n\n", 0,
         "Not a valid password.\nPassword for '" + db + "': \n"},
        {"asked, cancelled", "", 0600, "y\ny\n\n", -1, "Password for '" + db + "': \n"},
        {"a missing workgroup file", signIn, 0600, "", 3,
         kMissing + "No such file or directory). Nothing has been written. (3028)", ""},
        {"a workgroup file that is no database", signIn, 0600, "", 3,
         kMissing + "it is not a database). Nothing has been written. (3028)", "MDW"},
        {"a workgroup account, with a time limit", signIn + db + "\t" + kPassword + "\n", 0600, "",
         0, "compacted", "db"},
    };
    const std::string locked = WithPassword(Database::Small(), u"S3cr\u00E9t");
    ASSERT_EQ(HeaderPassword(locked), kPassword);
    for (const auto& c : cases) {
        Reset();
        WriteFile(data / "Shop.mdb", locked);
        if (!c.lines.empty()) {
            WriteFile(store, c.lines);
            chmod(store.c_str(), c.mode);
        }
        if (c.workgroup && *c.workgroup) {
            WriteFile(mdw, c.workgroup == std::string("db") ? Database::Small() : c.workgroup);
        }
        const Outcome run = Wait(Start(c.input, [&] {
            std::vector<std::string> args = {"tolvane"};
            if (c.input.empty()) args.push_back("--compact");
            if (std::strstr(c.name, "time limit")) args.insert(args.end(), {"--timeout", "1"});
            if (c.workgroup) args.insert(args.end(), {"--workgroup", mdw, "--user", "Kim"});
            args.push_back(db);
            std::vector<char*> argv;
            for (std::string& arg : args) argv.push_back(arg.data());
            return StartModule::Run(static_cast<int>(argv.size()), argv.data());
        }));
        EXPECT_EQ(run.Status(), std::max(c.status, 0)) << c.name << run.output;
        EXPECT_NE(run.output.find(c.said), std::string::npos) << c.name << run.output;
        for (const std::string& secret : {kPassword, kUserPassword}) {
            EXPECT_EQ((run.output + Log()).find(secret), std::string::npos) << c.name;
        }
        const bool compacted = c.status == 0;
        EXPECT_EQ(Files().contains("Shop-0001.BAK"), compacted) << c.name;
        EXPECT_EQ(HeaderPassword(ReadFile(data / "Shop.mdb")), kPassword) << c.name;
        if (!compacted) {
            EXPECT_EQ(ReadFile(data / "Shop.mdb"), locked) << c.name;
            EXPECT_LE(Files().size(), 2u) << c.name;  // nothing beside it but the workgroup file
        }
    }
    // An account's password is stored under its own key alone: another user's is not taken, nor
    // a pattern that would take the key.
    WriteFile(store, "workgroup:" + data.string() + "/*\tpattern\nworkgroup:" + mdw +
                         ":Lee\tlee\n" + signIn);
    const Outcome found = Wait(Start("", [&] {
        auto& credentials = Components::The<Components::Credentials>();
        return credentials.Stored({mdw, "Kim"}) == kUserPassword &&
                       !credentials.Stored({mdw, "Ann"})
                   ? 0
                   : 1;
    }));
    EXPECT_EQ(found.Status(), 0) << found.output;
}

}  // namespace
