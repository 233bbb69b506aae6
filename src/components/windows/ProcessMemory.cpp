#include "components/ProcessMemory.h"

#include "components/windows/Win32.h"

#include <cstring>

#include "components/windows/LoadedLibrary.h"

namespace Components {

namespace {

// The record as psapi.dll fills it on a 32-bit process.
struct Counters32 {
    DWORD cb;
    DWORD PageFaultCount;
    SIZE_T PeakWorkingSetSize;
    SIZE_T WorkingSetSize;
    SIZE_T QuotaPeakPagedPoolUsage;
    SIZE_T QuotaPagedPoolUsage;
    SIZE_T QuotaPeakNonPagedPoolUsage;
    SIZE_T QuotaNonPagedPoolUsage;
    SIZE_T PagefileUsage;
    SIZE_T PeakPagefileUsage;
};
static_assert(sizeof(Counters32) == sizeof(ProcessMemoryCounters),
              "the program is 32-bit on purpose: the counters record has the 32-bit layout");

HANDLE AsHandle(ProcessHandle handle) { return reinterpret_cast<HANDLE>(handle); }

class Win32ProcessMemory final : public ProcessMemory {
  public:
    std::uint32_t GetCurrentProcessId() override {
        static const auto fn =
            Win::Library("kernel32.dll").Bind<DWORD(WINAPI*)()>("GetCurrentProcessId");
        return fn();
    }

    ProcessHandle OpenProcess(std::uint32_t access, bool inherit,
                              std::uint32_t processId) override {
        static const auto fn =
            Win::Library("kernel32.dll").Bind<HANDLE(WINAPI*)(DWORD, BOOL, DWORD)>("OpenProcess");
        return reinterpret_cast<ProcessHandle>(fn(access, inherit ? TRUE : FALSE, processId));
    }

    bool GetProcessMemoryInfo(ProcessHandle process, ProcessMemoryCounters& counters,
                              std::uint32_t size) override {
        static const auto fn =
            Win::Library("psapi.dll")
                .Bind<BOOL(WINAPI*)(HANDLE, Counters32*, DWORD)>("GetProcessMemoryInfo");
        Counters32 filled;
        std::memcpy(&filled, &counters, sizeof filled);
        if (!fn(AsHandle(process), &filled, size)) return false;
        std::memcpy(&counters, &filled, sizeof counters);
        return true;
    }

    bool CloseHandle(ProcessHandle handle) override {
        static const auto fn =
            Win::Library("kernel32.dll").Bind<BOOL(WINAPI*)(HANDLE)>("CloseHandle");
        return fn(AsHandle(handle)) != FALSE;
    }
};

}  // namespace

std::unique_ptr<ProcessMemory> CreatePlatformInstance(Tag<ProcessMemory>) {
    return std::make_unique<Win32ProcessMemory>();
}

}  // namespace Components
