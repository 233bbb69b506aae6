// The modal message box and the process-wide mouse pointer.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <cstdint>
#include <optional>
#include <string>

namespace Components {

// Style flags and answers, with the platform's values.
enum : std::int32_t {
    kMbOk = 0,
    kMbYesNo = 4,
    kMbIconStop = 16,
    kMbIconQuestion = 32,
    kMbIconExclamation = 48,
    kMbIconInformation = 64,
    kMbDefButton2 = 256,
};
enum : std::int32_t { kIdOk = 1, kIdYes = 6, kIdNo = 7 };

// The mouse pointer shapes the program uses.
enum : std::int32_t { kPointerDefault = 0, kPointerBusy = 11 };

class MessageBox {
  public:
    virtual ~MessageBox() = default;

    // Shows `prompt` (line breaks are single line feeds) under `title` with the buttons and
    // icon that `flags` adds together, waits until the user answers and returns the button
    // pressed. Raises Err::Error when no box can be shown.
    virtual std::int32_t Show(std::string prompt, std::int32_t flags, std::string title) = 0;
};

class MousePointer {
  public:
    virtual ~MousePointer() = default;
    // The shape now shown; kPointerDefault until something set another.
    virtual std::int32_t Get() = 0;
    // Shows the shape for the whole process until the next Set.
    virtual void Set(std::int32_t shape) = 0;
};

std::unique_ptr<MessageBox> CreatePlatformInstance(Tag<MessageBox>);
std::unique_ptr<MousePointer> CreatePlatformInstance(Tag<MousePointer>);

}  // namespace Components

// The message box as the modules use it: a box given no title carries the application
// title.
namespace Ui {
std::int32_t MsgBox(const std::string& prompt, std::int32_t flags,
                    const std::optional<std::string>& title = std::nullopt);
}
