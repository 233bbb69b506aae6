#include "components/UserInterface.h"

#include "components/windows/Win32.h"

#include "components/CurrentError.h"
#include "components/windows/WinErrors.h"
#include "components/windows/WinText.h"

namespace Components {

namespace {

class Win32MessageBox final : public MessageBox {
  public:
    std::int32_t Show(std::string prompt, std::int32_t flags, std::string title) override {
        // The program has no window, so the box has no owner.
        const int answer = MessageBoxW(nullptr, Win::Wide(prompt).c_str(), Win::Wide(title).c_str(),
                                       static_cast<UINT>(flags));
        if (answer == 0) Win::RaiseLastError("MessageBox");
        return answer;
    }
};

class Win32MousePointer final : public MousePointer {
  public:
    std::int32_t Get() override { return shape_; }
    void Set(std::int32_t shape) override {
        const HCURSOR cursor = LoadCursorW(nullptr, shape == kPointerBusy ? IDC_WAIT : IDC_ARROW);
        if (cursor == nullptr) Win::RaiseLastError("MousePointer");
        SetCursor(cursor);
        shape_ = shape;
    }

  private:
    std::int32_t shape_ = kPointerDefault;
};

}  // namespace

std::unique_ptr<MessageBox> CreatePlatformInstance(Tag<MessageBox>) {
    return std::make_unique<Win32MessageBox>();
}

std::unique_ptr<MousePointer> CreatePlatformInstance(Tag<MousePointer>) {
    return std::make_unique<Win32MousePointer>();
}

}  // namespace Components
