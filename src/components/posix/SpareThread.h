// A second thread for the database check, on a core the run has to spare.
#pragma once

#include <atomic>
#include <system_error>
#include <thread>

#include "components/jet/DatabaseCheck.h"

namespace Components::Posix {

class SpareThread final : public Jet::SecondThread {
  public:
    ~SpareThread() override {
        if (thread_.joinable()) thread_.join();
    }
    bool Start(std::function<void()> work) override {
        try {
            thread_ = std::thread(std::move(work));
            return true;
        } catch (const std::system_error&) {
            return false;
        }
    }
    void Join() override { thread_.join(); }
    void Give(int n) override {
        counts_[n].fetch_add(1, std::memory_order_release);
        counts_[n].notify_one();
    }
    // A while spent asking before sleeping: the other thread mostly gives within tens of
    // microseconds, and on a virtual machine waking a thread that sleeps costs about as much.
    void Take(int n) override {
        std::atomic<int>& count = counts_[n];
        for (int asked = 0;; ++asked) {
            int now = count.load(std::memory_order_relaxed);
            if (now > 0) {
                if (count.compare_exchange_weak(now, now - 1, std::memory_order_acquire)) return;
                continue;
            }
            if (asked < kAsks) {
                Pause();
            } else {
                count.wait(0, std::memory_order_relaxed);
            }
        }
    }

  private:
    static constexpr int kAsks = 40000;
    static void Pause() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    std::atomic<int> counts_[2] = {0, 0};
    std::thread thread_;
};

}  // namespace Components::Posix
