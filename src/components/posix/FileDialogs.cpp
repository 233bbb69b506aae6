#include "components/FileDialogs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <iostream>
#include <optional>

#include "components/CurrentError.h"
#include "components/DialogProperties.h"
#include "components/posix/PosixPaths.h"
#include "components/posix/SystemCalls.h"
#include "components/posix/TerminalDialogObject.h"
#include "components/posix/TerminalUi.h"

namespace Components {

namespace {

// The full path of what the user typed: "~/" is the home folder, and a relative path is
// taken in `folder` (the working folder when empty), as a dialog started there would take
// it. Nothing else changes: spaces at either end belong to the name.
std::string FullPath(std::string typed, std::string folder) {
    if (typed == "~" || typed.starts_with("~/")) {
        const std::string home = Posix::HomeFolder();
        if (!home.empty()) typed = home + typed.substr(1);
    }
    if (typed.front() == '/') return typed;
    if (folder.empty()) {
        char* working = ::getcwd(nullptr, 0);
        if (working == nullptr) return typed;
        folder = working;
        std::free(working);
    }
    if (folder.back() != '/') folder += '/';
    return folder + typed;
}

// The file a symbolic link leads to, as the Windows dialog dereferences a shortcut: the
// compaction then happens beside the database itself and the link still leads to it. Only
// the last part is followed; the folders stay as typed.
std::string FollowLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {  // the kernel's own limit on a chain of links
        struct stat status;
        if (Posix::Sys().Lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
        // Some file systems give a link no size; a path is never longer than PATH_MAX.
        std::string target(status.st_size > 0 ? status.st_size + 1 : PATH_MAX, '\0');
        const ssize_t length = Posix::Sys().Readlink(path.c_str(), target.data(), target.size());
        // Empty, or changed since the lstat: what is there is what the user typed.
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) break;
        target.resize(static_cast<std::size_t>(length));
        path = target.front() == '/' ? target : Posix::FolderPart(path) + target;
    }
    return path;
}

// Writes the dialog's title and reads one path; nothing when the user cancels.
std::optional<std::string> AskForPath(const std::string& title, const std::string& folder) {
    std::cout << "\n== " << (title.empty() ? std::string("Open") : title) << " ==\n"
              << "Path of the file (an empty line cancels): ";
    std::cout.flush();
    if (!std::cout) {
        std::cout.clear();
        Err::Raise(57, "SelectFile: the dialog could not be written to standard output");
    }
    std::string line;
    const bool read = Posix::ReadAnswerLine(line);
    std::cout.flush();
    if (!read) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) return std::nullopt;
    return FollowLinks(FullPath(line, folder));
}

class TerminalOpenFileDialog final : public OpenFileDialog {
  public:
    // The filter, the default extension and the flags cannot change what a typed path
    // names, so they are not used here.
    void SelectFile(std::int32_t, std::string&, std::string, std::string, std::string initialFolder,
                    std::string&, std::int32_t&, std::string title, std::int32_t,
                    std::string& result) override {
        result = AskForPath(title, initialFolder).value_or("");
    }
};

class TerminalDialogObject final : public DialogProperties {
    std::optional<std::string> Show(const Fields& fields) override {
        // The caller's folder may carry a Windows separator at its end ("folder\").
        std::string folder = fields.initDir;
        while (!folder.empty() && folder.back() == '\\') folder.pop_back();
        return AskForPath(fields.title, folder);
    }
};

}  // namespace

std::unique_ptr<OpenFileDialog> CreatePlatformInstance(Tag<OpenFileDialog>) {
    return std::make_unique<TerminalOpenFileDialog>();
}

std::shared_ptr<DialogObject> Posix::CreateTerminalDialogObject() {
    return std::make_shared<TerminalDialogObject>();
}

}  // namespace Components
