#include "components/ProcessMemory.h"

#include "components/windows/Win32.h"

#include <algorithm>
#include <cstdint>

#include "components/windows/LoadedLibrary.h"

namespace Components {

namespace {

// The record as psapi.dll fills it: SIZE_T wide, so 40 bytes in a 32-bit process and 72 in a
// 64-bit one.
struct NativeCounters {
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

// The log reads each counter as a 32-bit signed value: a larger one reads as the largest.
std::uint32_t Clamp(SIZE_T bytes) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, INT32_MAX));
}

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
                .Bind<BOOL(WINAPI*)(HANDLE, NativeCounters*, DWORD)>("GetProcessMemoryInfo");
        NativeCounters filled{};
        // A short size reaches the service and fails there; any other gets the native record's
        // own size, so the service never writes past it.
        filled.cb = size < sizeof counters ? size : sizeof filled;
        if (!fn(AsHandle(process), &filled, filled.cb)) return false;
        counters.PageFaultCount = filled.PageFaultCount;
        counters.PeakWorkingSetSize = Clamp(filled.PeakWorkingSetSize);
        counters.WorkingSetSize = Clamp(filled.WorkingSetSize);
        counters.QuotaPeakPagedPoolUsage = Clamp(filled.QuotaPeakPagedPoolUsage);
        counters.QuotaPagedPoolUsage = Clamp(filled.QuotaPagedPoolUsage);
        counters.QuotaPeakNonPagedPoolUsage = Clamp(filled.QuotaPeakNonPagedPoolUsage);
        counters.QuotaNonPagedPoolUsage = Clamp(filled.QuotaNonPagedPoolUsage);
        counters.PagefileUsage = Clamp(filled.PagefileUsage);
        counters.PeakPagefileUsage = Clamp(filled.PeakPagefileUsage);
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
