// On a terminal, the progress is one line that counts the seconds, rewritten in place by a
// thread of its own while the caller's thread waits on the engine; off a terminal (a pipe, a
// file, a scheduled run) nothing is written, so a transcript holds only what was asked and
// said.
#include "components/Progress.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace Components {

namespace {

class TerminalProgress final : public Progress {
  public:
    explicit TerminalProgress(int fd) : fd_(fd) {}
    ~TerminalProgress() override { Hide(); }

    void Show(std::string text) override {
        Hide();
        if (::isatty(fd_) != 1) return;
        done_ = false;
        ticker_ = std::thread([this, text = std::move(text)] { Tick(text); });
    }

    void Hide() override {
        if (!ticker_.joinable()) return;
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        ticker_.join();
        Write("\r\033[K");
    }

  private:
    void Tick(const std::string& text) {
        const auto start = std::chrono::steady_clock::now();
        std::unique_lock lock(mutex_);
        for (;;) {
            const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(
                std::chrono::steady_clock::now() - start);
            const long s = static_cast<long>(elapsed.count());
            Write("\r" + text + " " + std::to_string(s / 60) + ":" + (s % 60 < 10 ? "0" : "") +
                  std::to_string(s % 60));
            if (wake_.wait_until(lock, start + elapsed + std::chrono::seconds(1),
                                 [this] { return done_; })) {
                return;
            }
        }
    }

    // Nothing here may fail the work it describes, so the write is not checked.
    void Write(const std::string& bytes) { (void)!::write(fd_, bytes.data(), bytes.size()); }

    int fd_;
    std::thread ticker_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
};

}  // namespace

// Beside the boxes, which are written to standard output as well.
std::unique_ptr<Progress> CreatePlatformInstance(Tag<Progress>) {
    return std::make_unique<TerminalProgress>(STDOUT_FILENO);
}

}  // namespace Components
