// The progress as a small window that says what is being done above a marquee bar. The
// thread that calls the engine is blocked inside it and would never paint a window of its own,
// so the window lives on a second thread with its own message loop, from Show until Hide.
// It has no close button: the compaction cannot be stopped halfway.
#include "components/Progress.h"

#include "components/windows/Win32.h"

#include <commctrl.h>

#include "components/windows/WinText.h"

namespace Components {

namespace {

constexpr wchar_t kClassName[] = L"TolvaneProgress";
constexpr int kWidth = 360, kHeight = 90, kMargin = 16, kBarHeight = 18;

LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Alt+F4 and the taskbar's Close would end nothing but the window.
    if (message == WM_CLOSE) return 0;
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterOnce(HINSTANCE instance) {
    static const bool registered = [instance] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        WNDCLASSEXW type{};
        type.cbSize = sizeof type;
        type.style = CS_NOCLOSE;
        type.lpfnWndProc = ProgressProc;
        type.hInstance = instance;
        type.hCursor = LoadCursorW(nullptr, IDC_WAIT);
        type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        type.lpszClassName = kClassName;
        return RegisterClassExW(&type) != 0;
    }();
    return registered;
}

class ProgressWindow final : public Progress {
  public:
    ~ProgressWindow() override { Hide(); }

    void Show(std::string text) override {
        Hide();
        text_ = Win::Wide(text);
        created_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (created_ == nullptr) return;
        thread_ = CreateThread(nullptr, 0, &ProgressWindow::Run, this, 0, &threadId_);
        // Once the window is up (or known never to come), Hide can always reach its thread.
        if (thread_ != nullptr) WaitForSingleObject(created_, INFINITE);
        CloseHandle(created_);
        created_ = nullptr;
    }

    void Hide() override {
        if (thread_ == nullptr) return;
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }

  private:
    static DWORD WINAPI Run(void* self) {
        static_cast<ProgressWindow*>(self)->Loop();
        return 0;
    }

    void Loop() {
        MSG message;
        // The thread's message queue exists before anyone may post it the quit.
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        HWND window = nullptr;
        if (RegisterOnce(instance)) {
            RECT area{0, 0, kWidth, kHeight};
            SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
            window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, kClassName, text_.c_str(),
                                     WS_POPUP | WS_CAPTION | WS_VISIBLE,
                                     (area.left + area.right - kWidth) / 2,
                                     (area.top + area.bottom - kHeight) / 2, kWidth, kHeight,
                                     nullptr, nullptr, instance, nullptr);
        }
        if (window != nullptr) {
            RECT inside{};
            GetClientRect(window, &inside);
            const HWND bar = CreateWindowExW(
                0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | PBS_MARQUEE, kMargin,
                (inside.bottom - kBarHeight) / 2, inside.right - 2 * kMargin, kBarHeight, window,
                nullptr, instance, nullptr);
            if (bar != nullptr) SendMessageW(bar, PBM_SETMARQUEE, TRUE, 30);
        }
        SetEvent(created_);
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (window != nullptr) DestroyWindow(window);
    }

    std::wstring text_;
    HANDLE created_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
};

}  // namespace

std::unique_ptr<Progress> CreatePlatformInstance(Tag<Progress>) {
    return std::make_unique<ProgressWindow>();
}

}  // namespace Components
