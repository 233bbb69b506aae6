// What the tests of the real program share: its runs, as a user makes them, in a scratch folder.
#pragma once

#include <grp.h>

#include "support/WholeRun.h"

namespace ProgramTest {

using namespace WholeRun;

class Program : public Scratch {
  protected:
    // Runs the program with `input` on standard input, as many times as a test likes.
    Outcome Run(const std::string& input) {
        std::string binary = TOLVANE_BINARY;
        const bool asNobody = unprivileged && geteuid() == 0;
        if (asNobody) {
            // The build folder may lie below a folder only root can enter (a home folder,
            // a private temporary folder), so nobody runs a copy from the scratch folder.
            const fs::path copy = root / "bin" / fs::path(binary).filename();
            fs::create_directories(copy.parent_path());
            fs::copy_file(binary, copy, fs::copy_options::overwrite_existing);
            binary = copy;
            GiveToNobody();
        }
        return Wait(Start(input, [&] {
            if (asNobody &&
                (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
                _exit(126);
            }
            execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
            return 127;
        }));
    }

    // As root, permissions bind nobody; when `unprivileged`, the runs are made as user
    // nobody, who is given the scratch folder (the modes the test chose stay as they are).
    bool unprivileged = false;
    static constexpr uid_t kNobody = 65534;

    void GiveToNobody() const {
        fs::permissions(root,
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        if (lchown(root.c_str(), kNobody, kNobody) != 0) ADD_FAILURE() << "lchown " << root;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (lchown(entry.path().c_str(), kNobody, kNobody) != 0) {
                ADD_FAILURE() << "lchown " << entry.path();
            }
        }
    }
};

}  // namespace ProgramTest
