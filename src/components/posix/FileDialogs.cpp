#include "components/FileDialogs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <iostream>
#include <optional>

#include "components/CurrentError.h"
#include "components/DialogProperties.h"
#include "components/posix/TerminalDialogObject.h"
#include "components/posix/TerminalUi.h"
#include "components/posix/TypedPath.h"

namespace Components {

namespace {

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
    return Posix::TypedPath(line, folder);
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
