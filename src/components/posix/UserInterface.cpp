#include "components/UserInterface.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <iostream>
#include <vector>

#include "components/Application.h"
#include "components/CurrentError.h"
#include "components/posix/TerminalUi.h"

namespace Components::Posix {

namespace {

struct Button {
    const char* name;
    std::int32_t id;
};

// The program asks only questions with Yes and No, and otherwise shows a box with OK.
std::vector<Button> ButtonsFor(std::int32_t flags) {
    if ((flags & 0xF) == kMbYesNo) return {{"Yes", kIdYes}, {"No", kIdNo}};
    return {{"OK", kIdOk}};
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string TrimmedAnswer(const std::string& line) {
    std::size_t begin = 0, end = line.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(line[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(line[end - 1]))) --end;
    return line.substr(begin, end - begin);
}

// The button an answer names, whole or by its first letter, in any case; or nullptr.
const Button* Named(const std::vector<Button>& buttons, const std::string& answer) {
    const std::string wanted = Lower(answer);
    for (const Button& button : buttons) {
        const std::string name = Lower(button.name);
        if (name == wanted || (wanted.size() == 1 && name.front() == wanted.front())) {
            return &button;
        }
    }
    return nullptr;
}

std::string ButtonLine(const std::vector<Button>& buttons, const Button& preset) {
    if (buttons.size() == 1) return std::string("[") + buttons.front().name + "] (press Enter) ";
    std::string line;
    for (const Button& button : buttons) {
        if (!line.empty()) line += " / ";
        line += button.name;
    }
    return line + " (Enter = " + preset.name + ")? ";
}

void Flush() {
    std::cout.flush();
    if (!std::cout) {
        std::cout.clear();
        Err::Raise(57, "MessageBox: the box could not be written to standard output");
    }
}

}  // namespace

bool ReadAnswerLine(std::string& line) {
    if (!std::getline(std::cin, line)) {
        std::cout << "\n";
        return false;
    }
    static const bool echo = ::isatty(STDIN_FILENO) != 1;
    if (echo) std::cout << line << "\n";
    return true;
}

std::string IconWord(std::int32_t flags) {
    switch (flags & 0xF0) {
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

std::int32_t TerminalMessageBox::Show(std::string prompt, std::int32_t flags, std::string title) {
    if (title.empty()) title = The<Application>().Title();
    const std::vector<Button> buttons = ButtonsFor(flags);
    const std::size_t presetIndex = static_cast<std::size_t>((flags & 0xF00) >> 8);
    const Button& preset = buttons[presetIndex < buttons.size() ? presetIndex : 0];

    const std::string icon = IconWord(flags);
    std::cout << "\n== " << title << (icon.empty() ? "" : " [" + icon + "]") << " ==\n"
              << prompt << "\n"
              << ButtonLine(buttons, preset);
    for (;;) {
        Flush();
        std::string line;
        if (!ReadAnswerLine(line)) {
            Flush();
            return buttons.back().id;  // No where it is offered, else OK
        }
        const std::string answer = TrimmedAnswer(line);
        const Button* chosen = answer.empty()        ? &preset
                               : buttons.size() == 1 ? &buttons.front()
                                                     : Named(buttons, answer);
        if (chosen != nullptr) {
            std::cout.flush();
            return chosen->id;
        }
        std::cout << "Please answer with one of: " << ButtonLine(buttons, preset);
    }
}

}  // namespace Components::Posix

namespace Components {

std::unique_ptr<MessageBox> CreatePlatformInstance(Tag<MessageBox>) {
    return std::make_unique<Posix::TerminalMessageBox>();
}

std::unique_ptr<MousePointer> CreatePlatformInstance(Tag<MousePointer>) {
    return std::make_unique<Posix::TerminalMousePointer>();
}

}  // namespace Components
