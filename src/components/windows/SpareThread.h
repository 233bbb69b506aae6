// A second thread for the database check, on a core the run has to spare.
#pragma once

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
    void Give(int n) override { ReleaseSemaphore(counts_[n], 1, nullptr); }
    void Take(int n) override { WaitForSingleObject(counts_[n], INFINITE); }

  private:
    static DWORD WINAPI Run(void* self) {
        static_cast<SpareThread*>(self)->work_();
        return 0;
    }

    std::function<void()> work_;
    HANDLE counts_[2] = {};
    HANDLE thread_ = nullptr;
};

}  // namespace Components::Win
