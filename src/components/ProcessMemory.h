// The services that tell the working-set size and the page-file usage of a process.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <cstdint>

namespace Components {

// The 32-bit PROCESS_MEMORY_COUNTERS record, byte for byte.
struct ProcessMemoryCounters {
    std::uint32_t Cb;
    std::uint32_t PageFaultCount;
    std::uint32_t PeakWorkingSetSize;
    std::uint32_t WorkingSetSize;
    std::uint32_t QuotaPeakPagedPoolUsage;
    std::uint32_t QuotaPagedPoolUsage;
    std::uint32_t QuotaPeakNonPagedPoolUsage;
    std::uint32_t QuotaNonPagedPoolUsage;
    std::uint32_t PagefileUsage;
    std::uint32_t PeakPagefileUsage;
};
static_assert(sizeof(ProcessMemoryCounters) == 40);

using ProcessHandle = std::intptr_t;
inline constexpr std::uint32_t kProcessQueryInformationAndVmRead = 0x410;

class ProcessMemory {
  public:
    virtual ~ProcessMemory() = default;

    // The own process's id.
    virtual std::uint32_t GetCurrentProcessId() = 0;
    // A handle to the process with the access asked for; 0 on failure.
    virtual ProcessHandle OpenProcess(std::uint32_t access, bool inherit,
                                      std::uint32_t processId) = 0;
    // Fills `counters` (whose Cb the caller set to `size`); false on failure, leaving the
    // record as it was.
    virtual bool GetProcessMemoryInfo(ProcessHandle process, ProcessMemoryCounters& counters,
                                      std::uint32_t size) = 0;
    // Releases whatever OpenProcess returned, 0 included.
    virtual bool CloseHandle(ProcessHandle handle) = 0;

    // A service that cannot be bound raises Err::Error in the caller.
};

std::unique_ptr<ProcessMemory> CreatePlatformInstance(Tag<ProcessMemory>);

}  // namespace Components
