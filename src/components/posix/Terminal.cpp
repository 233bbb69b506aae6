// The dialogs on a terminal: prompts on standard output, answers from standard input, so a
// whole run can be scripted.
#include <unistd.h>

#include <iostream>
#include <map>
#include <string>

#include "components/CurrentError.h"
#include "components/FileDialogs.h"
#include "components/UserInterface.h"
#include "components/posix/TerminalDialogObject.h"

namespace Components {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

const char* IconWord(std::int32_t flags) {
    switch (flags & 0x70) {
        case kMbIconStop:
            return "Error";
        case kMbIconQuestion:
            return "Question";
        case kMbIconExclamation:
            return "Warning";
        case kMbIconInformation:
            return "Information";
        default:
            return "";
    }
}

// One line of standard input; false at its end.
bool ReadLine(std::string& line) {
    std::cout.flush();
    if (!std::getline(std::cin, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

class TerminalMessageBox : public MessageBox {
  public:
    std::int32_t Show(std::string prompt, std::int32_t flags, std::string title) override {
        std::cout << "[" << title << "] " << IconWord(flags) << "\n" << prompt << "\n";
        if ((flags & 0xF) != kMbYesNo) {
            std::cout << "[OK] ";
            std::string line;
            ReadLine(line);
            std::cout << "\n";
            return kIdOk;
        }
        const bool noIsDefault = (flags & kMbDefButton2) != 0;
        for (;;) {
            std::cout << (noIsDefault ? "[Yes/No, default No] " : "[Yes/No, default Yes] ");
            std::string line;
            if (!ReadLine(line)) {
                std::cout << "\n";
                return kIdNo;
            }
            const std::string answer = Lower(line);
            if (answer == "y" || answer == "yes") return kIdYes;
            if (answer == "n" || answer == "no") return kIdNo;
            if (answer.empty()) return noIsDefault ? kIdNo : kIdYes;
        }
    }
};

class TerminalPointer : public MousePointer {
  public:
    std::int32_t Get() override { return shape_; }
    void Set(std::int32_t shape) override {
        if (isatty(2)) {
            if (shape == kPointerBusy && shape_ != kPointerBusy)
                std::cerr << "Working..." << std::flush;
            if (shape != kPointerBusy && shape_ == kPointerBusy)
                std::cerr << "\r\033[K" << std::flush;
        }
        shape_ = shape;
    }

  private:
    std::int32_t shape_ = kPointerDefault;
};

class TerminalOpenFileDialog : public OpenFileDialog {
  public:
    void SelectFile(std::int32_t, std::string&, std::string, std::string, std::string, std::string&,
                    std::int32_t&, std::string title, std::int32_t, std::string& result) override {
        std::cout << title << "\nPath (empty to cancel): ";
        if (!ReadLine(result)) result.clear();
        std::cout << "\n";
    }
};

class TerminalDialog : public DialogObject {
  public:
    TerminalDialog() {
        for (const char* text : {"Filter", "DialogTitle", "InitDir", "Filename"}) {
            properties_[text] = std::string();
        }
        for (const char* number : {"FilterIndex", "Flags", "CancelError", "Action"}) {
            properties_[number] = std::int16_t{0};
        }
    }

    void SetProperty(const std::string& name, PropertyValue value) override {
        const auto property = Find(name);
        if (property->second.index() != value.index()) Err::Raise(13, "Type mismatch");
        if (name != "Action") {
            property->second = std::move(value);
            return;
        }
        if (std::get<std::int16_t>(value) != 1) return;
        std::cout << std::get<std::string>(properties_["DialogTitle"])
                  << "\nPath (empty to cancel): ";
        std::string path;
        const bool answered = ReadLine(path) && !path.empty();
        std::cout << "\n";
        if (answered) {
            properties_["Filename"] = path;
        } else if (std::get<std::int16_t>(properties_["CancelError"]) != 0) {
            Err::Raise(Err::kDialogCancelled, "Cancel was selected.");
        }
    }

    PropertyValue GetProperty(const std::string& name) override { return Find(name)->second; }

  private:
    std::map<std::string, PropertyValue>::iterator Find(const std::string& name) {
        const auto property = properties_.find(name);
        if (property == properties_.end()) {
            Err::Raise(438, "Object doesn't support this property or method: " + name);
        }
        return property;
    }
    std::map<std::string, PropertyValue> properties_;
};

}  // namespace

std::shared_ptr<DialogObject> CreateTerminalDialogObject() {
    return std::make_shared<TerminalDialog>();
}

std::unique_ptr<MessageBox> CreatePlatformInstance(Tag<MessageBox>) {
    return std::make_unique<TerminalMessageBox>();
}
std::unique_ptr<MousePointer> CreatePlatformInstance(Tag<MousePointer>) {
    return std::make_unique<TerminalPointer>();
}
std::unique_ptr<OpenFileDialog> CreatePlatformInstance(Tag<OpenFileDialog>) {
    return std::make_unique<TerminalOpenFileDialog>();
}

}  // namespace Components
