// Work on a thread of its own, beside the caller's, so that the two cores share a run: the
// copy is written while the database is walked. What the work raises is raised again, on
// the caller's thread, by Finish.
#pragma once

#include <exception>
#include <functional>
#include <system_error>
#include <thread>
#include <utility>

namespace Components::Posix {

class Beside {
  public:
    explicit Beside(std::function<void()> work) : work_(std::move(work)) {
        try {
            thread_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            Run();  // no thread to be had: the work is done here, first
        }
    }
    ~Beside() { Wait(); }
    Beside(const Beside&) = delete;
    Beside& operator=(const Beside&) = delete;

    void Wait() {
        if (thread_.joinable()) thread_.join();
    }
    // Once the work has ended: raises what it raised.
    void Finish() {
        Wait();
        if (raised_) std::rethrow_exception(std::exchange(raised_, nullptr));
    }

  private:
    void Run() {
        try {
            work_();
        } catch (...) {
            raised_ = std::current_exception();
        }
    }

    std::function<void()> work_;
    std::exception_ptr raised_;
    std::thread thread_;  // last: it starts once the rest is in place
};

}  // namespace Components::Posix
