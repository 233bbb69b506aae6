#include "components/FileDialogs.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <iostream>
#include <optional>

#include "components/CurrentError.h"
#include "components/posix/PosixPaths.h"
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
    return FullPath(line, folder);
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

bool SameName(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

class TerminalDialogObject final : public DialogObject {
  public:
    void SetProperty(const std::string& name, PropertyValue value) override {
        if (SameName(name, "Filter")) {
            filter_ = Text(value);
        } else if (SameName(name, "FilterIndex")) {
            filterIndex_ = Number(value);
        } else if (SameName(name, "DialogTitle")) {
            title_ = Text(value);
        } else if (SameName(name, "Flags")) {
            flags_ = Number(value);
        } else if (SameName(name, "CancelError")) {
            cancelError_ = Number(value) != 0;
        } else if (SameName(name, "InitDir")) {
            initDir_ = Text(value);
        } else if (SameName(name, "Filename")) {
            filename_ = Text(value);
        } else if (SameName(name, "DefaultExt")) {
            defaultExt_ = Text(value);
        } else if (SameName(name, "Action")) {
            if (Number(value) != 1) {
                Err::Raise(Err::kInvalidProcedureCall,
                           Err::StandardText(Err::kInvalidProcedureCall));
            }
            ShowOpen();
        } else {
            Unknown();
        }
    }

    PropertyValue GetProperty(const std::string& name) override {
        if (SameName(name, "Filter")) return filter_;
        if (SameName(name, "FilterIndex")) return filterIndex_;
        if (SameName(name, "DialogTitle")) return title_;
        if (SameName(name, "Flags")) return flags_;
        if (SameName(name, "CancelError")) return static_cast<std::int16_t>(cancelError_ ? -1 : 0);
        if (SameName(name, "InitDir")) return initDir_;
        if (SameName(name, "Filename")) return filename_;
        if (SameName(name, "DefaultExt")) return defaultExt_;
        if (SameName(name, "Action")) return static_cast<std::int16_t>(0);
        Unknown();
    }

  private:
    [[noreturn]] static void Unknown() { Err::Raise(438, Err::StandardText(438)); }

    static std::string Text(const PropertyValue& value) {
        if (const auto* text = std::get_if<std::string>(&value)) return *text;
        Err::Raise(13, Err::StandardText(13));
    }
    static std::int16_t Number(const PropertyValue& value) {
        if (const auto* number = std::get_if<std::int16_t>(&value)) return *number;
        Err::Raise(13, Err::StandardText(13));
    }

    void ShowOpen() {
        // The caller's folder may carry a Windows separator at its end ("folder\").
        std::string folder = initDir_;
        while (!folder.empty() && folder.back() == '\\') folder.pop_back();
        const auto chosen = AskForPath(title_, folder);
        if (!chosen) {
            if (cancelError_) Err::Raise(Err::kDialogCancelled, "Cancel was selected.");
            return;
        }
        filename_ = *chosen;
    }

    std::string filter_;
    std::int16_t filterIndex_ = 0;
    std::string title_;
    std::int16_t flags_ = 0;
    bool cancelError_ = false;
    std::string initDir_;
    std::string filename_;
    std::string defaultExt_;
};

}  // namespace

std::unique_ptr<OpenFileDialog> CreatePlatformInstance(Tag<OpenFileDialog>) {
    return std::make_unique<TerminalOpenFileDialog>();
}

std::shared_ptr<DialogObject> Posix::CreateTerminalDialogObject() {
    return std::make_shared<TerminalDialogObject>();
}

}  // namespace Components
