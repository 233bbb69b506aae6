// The message box and the mouse pointer on a terminal. Declared here so tests can make them
// with a stream of their own; the program gets them through CreatePlatformInstance.
#pragma once

#include <cstdint>
#include <string>

#include "components/UserInterface.h"

namespace Components::Posix {

// Shows the box on standard output (std::cout) and reads the answer from standard input
// (std::cin), one line per try: its title, a word for its icon, the prompt as it is, then the
// buttons it offers: Yes and No for kMbYesNo, else OK. An answer is a button's name or its
// first letter, in any case; an empty line takes the default button; a line that names no
// button asks again. At end of input a box answers No, or OK where that is its only button.
class TerminalMessageBox final : public MessageBox {
  public:
    std::int32_t Show(std::string prompt, std::int32_t flags, std::string title) override;
};

// Records the shape only: a terminal has no pointer, and the progress line (Progress.h) says
// that the program is at work.
class TerminalMousePointer final : public MousePointer {
  public:
    std::int32_t Get() override { return shape_; }
    void Set(std::int32_t shape) override { shape_ = shape; }

  private:
    std::int32_t shape_ = kPointerDefault;
};

// Reads one line of standard input (std::cin) as an answer; false at end of input. When
// standard input is no terminal, the line is echoed to standard output, so that a scripted
// run's transcript reads as a session at a terminal would.
bool ReadAnswerLine(std::string& line);

// The word a box shows for its icon: "Error", "Question", "Warning", "Information" or empty.
std::string IconWord(std::int32_t flags);

}  // namespace Components::Posix
