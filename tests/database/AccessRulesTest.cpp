// The compacted database keeps who may read it: its group, owner and ACL are carried to the
// copy, run as root and as an unprivileged user; where they cannot be, nothing changes.
#include <sys/xattr.h>

#include <grp.h>

#include "components/CommandLine.h"
#include "components/posix/SystemCalls.h"
#include "start/StartModule.h"
#include "support/Invariant.h"

namespace {

using namespace WholeRun;

constexpr uid_t kNobody = 65534;

struct Row {
    const char* name;
    uid_t runAs;
    std::vector<gid_t> groups;  // the runner's supplementary groups
    uid_t owner;                // the database's owner and group
    gid_t group;
    std::string acl;  // setfacl -m entries given to the database
    int status;
    std::string logged = "";     // a line of the log holds this
    bool folderDefault = false;  // the folder gives new files an ACL the database lacks
    bool aclRefused = false;     // setting an ACL fails (EPERM)
};

const Row kRows[] = {
    {"RootKeepsOwnerGroupAndAcl", 0, {}, 4245, 4242, "u:4243:r,g:4244:rw", 0},
    {"AMemberOfTheGroupKeepsGroupAndAcl", kNobody, {4242}, kNobody, 4242, "u:4243:r", 0},
    {"ANonMemberLeavesTheDatabase",
     kNobody,
     {},
     kNobody,
     4242,
     "u:4243:r",
     3,
     "group 4242 cannot be given"},
    {"TheFoldersDefaultAclIsTakenOff", 0, {}, 0, 0, "", 0, "", true},
    {"AnAclThatCannotBeSetLeavesTheDatabase",
     0,
     {},
     0,
     0,
     "u:4243:r",
     3,
     "ACL cannot be given",
     false,
     true},
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

std::string Acl(const fs::path& file) {
    return Shell("getfacl --omit-header -n -p '" + file.string() + "' 2>&1");
}

class AccessRules : public Scratch, public ::testing::WithParamInterface<Row> {};

TEST_P(AccessRules, TravelWithTheCompactedCopyOrNothingChanges) {
    const Row& row = GetParam();
    if (geteuid() != 0 || Shell("command -v setfacl").empty()) {
        GTEST_SKIP() << "skipped: needs root and setfacl (package acl, scripts/install-deps)";
    }
    const fs::path db = data / "Shop.mdb";
    const std::string old = Database::Small();
    WriteFile(db, old);
    fs::permissions(root, fs::perms::owner_all | fs::perms::others_exec);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        ASSERT_EQ(lchown(entry.path().c_str(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(lchown(root.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chown(db.c_str(), row.owner, row.group), 0);
    ASSERT_EQ(chmod(db.c_str(), 0640), 0);
    const std::string setfacl =
        (row.acl.empty() ? "" : "setfacl -m " + row.acl + " " + db.string()) +
        (row.folderDefault ? "setfacl -d -m u:4246:rwx " + data.string() : "");
    ASSERT_EQ(Shell(setfacl + " 2>&1"), "");
    const std::string aclBefore = Acl(db);
    struct stat before {};
    ::stat(db.c_str(), &before);

    const Outcome run = Wait(Start("", [&] {
        if (row.aclRefused) {
            Components::Posix::Sys().FsetXattr = [](int, const char*, const void*, std::size_t,
                                                    int) { return errno = EPERM, -1; };
        }
        if (row.runAs != 0 && (setgroups(row.groups.size(), row.groups.data()) != 0 ||
                               setgid(kNobody) != 0 || setuid(row.runAs) != 0)) {
            return 126;
        }
        std::string name = "tolvane", option = "--compact", path = db.string();
        char* argv[] = {name.data(), option.data(), path.data()};
        Components::KeepStartArguments(3, argv);
        return StartModule::Main();
    }));

    EXPECT_EQ(run.Status(), row.status) << Log();
    EXPECT_NE(Log().find(row.logged), std::string::npos) << Log();
    // Unattended, the status is what the run says of a success.
    const std::string said = Log() + (run.Status() == 0 ? kSuccess : "");
    EXPECT_EQ(Violation({row.status != 0, false, said, FilesIn(data)}, old, before.st_ino, data),
              "");
    if (row.status != 0) return;
    struct stat after {};
    ::stat(db.c_str(), &after);
    EXPECT_EQ(after.st_uid, row.owner);
    EXPECT_EQ(after.st_gid, row.group);
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    EXPECT_EQ(Acl(db), aclBefore);
}

INSTANTIATE_TEST_SUITE_P(Runs, AccessRules, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
