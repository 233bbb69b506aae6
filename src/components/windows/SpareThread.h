// A second thread for the database check, on a core the run has to spare.
#pragma once

#include <atomic>

#include "components/jet/DatabaseCheck.h"
#include "components/windows/Win32.h"

namespace Components::Win {

class SpareThread final : public Jet::SecondThread {
  public:
    SpareThread() {
        for (HANDLE& count : counts_) count = CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr);
    }
    ~SpareThread() override {
        if (thread_) Join();
        for (HANDLE count : counts_) {
            if (count) CloseHandle(count);
        }
    }
    SpareThread(const SpareThread&) = delete;
    SpareThread& operator=(const SpareThread&) = delete;

    bool Start(std::function<void()> work) override {
        if (!counts_[0] || !counts_[1]) return false;
        work_ = std::move(work);
        thread_ = CreateThread(nullptr, 0, &SpareThread::Run, this, 0, nullptr);
        return thread_ != nullptr;
    }
    void Join() override {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    // A count below 0 is one thread asleep on the semaphore, which only then is used: the
    // other thread mostly gives within tens of microseconds, and going through the kernel to
    // sleep and wake costs about as much.
    void Give(int n) override {
        if (tokens_[n].fetch_add(1, std::memory_order_release) < 0)
            ReleaseSemaphore(counts_[n], 1, nullptr);
    }
    void Take(int n) override {
        std::atomic<long>& tokens = tokens_[n];
        for (int asked = 0; asked < kAsks; ++asked) {
            long now = tokens.load(std::memory_order_relaxed);
            if (now > 0 && tokens.compare_exchange_weak(now, now - 1, std::memory_order_acquire))
                return;
            YieldProcessor();
        }
        if (tokens.fetch_sub(1, std::memory_order_acquire) <= 0)
            WaitForSingleObject(counts_[n], INFINITE);
    }

  private:
    static DWORD WINAPI Run(void* self) {
        static_cast<SpareThread*>(self)->work_();
        return 0;
    }

    static constexpr int kAsks = 4000;
    std::function<void()> work_;
    std::atomic<long> tokens_[2] = {0, 0};
    HANDLE counts_[2] = {};
    HANDLE thread_ = nullptr;
};

}  // namespace Components::Win
