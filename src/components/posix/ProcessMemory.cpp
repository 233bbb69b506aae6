// The process-memory services of the log's counters, read from /proc/self/status.
//
// WorkingSetSize is the resident set (VmRSS): the pages of the process now in memory, which
// is what the Windows working set counts. PagefileUsage is the private memory the process
// has committed, whether resident or not: on Windows the commit charge of its private
// pages, here VmData + VmStk, the sizes of its private writable mappings (heap, anonymous
// mappings, data segments) and of its stack. Both are bytes. The log reads them as signed
// 32-bit values, so a larger figure (a sanitizer's reservations, say) is given as the
// largest one it can show rather than one that reads as negative.
#include "components/ProcessMemory.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <string>

#include "components/CurrentError.h"

namespace Components {

namespace {

// The own process's pseudo handle, as Windows gives one for the current process.
constexpr ProcessHandle kOwnProcess = -1;

std::uint32_t Clamp(std::uint64_t bytes) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, INT32_MAX));
}

struct StatusCounters {
    std::uint64_t residentKb = 0, dataKb = 0, stackKb = 0;
    bool read = false;
};

StatusCounters ReadStatus() {
    StatusCounters counters;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = line.substr(0, colon);
        std::uint64_t* target = key == "VmRSS"    ? &counters.residentKb
                                : key == "VmData" ? &counters.dataKb
                                : key == "VmStk"  ? &counters.stackKb
                                                  : nullptr;
        if (target == nullptr) continue;
        try {
            *target = std::stoull(line.substr(colon + 1));
            counters.read = true;
        } catch (...) {
        }
    }
    return counters;
}

class ProcProcessMemory final : public ProcessMemory {
  public:
    std::uint32_t GetCurrentProcessId() override { return static_cast<std::uint32_t>(::getpid()); }

    ProcessHandle OpenProcess(std::uint32_t, bool, std::uint32_t processId) override {
        if (processId == static_cast<std::uint32_t>(::getpid())) return kOwnProcess;
        // Only the own process's counters are offered.
        Err::Current().LastDllError = EACCES;
        return 0;
    }

    bool GetProcessMemoryInfo(ProcessHandle process, ProcessMemoryCounters& counters,
                              std::uint32_t size) override {
        if (process != kOwnProcess || size < sizeof counters) {
            Err::Current().LastDllError = EINVAL;
            return false;
        }
        const StatusCounters status = ReadStatus();
        if (!status.read) {
            Err::Current().LastDllError = EIO;
            return false;
        }
        counters.WorkingSetSize = Clamp(status.residentKb * 1024);
        counters.PagefileUsage = Clamp((status.dataKb + status.stackKb) * 1024);
        return true;
    }

    bool CloseHandle(ProcessHandle) override { return true; }
};

}  // namespace

std::unique_ptr<ProcessMemory> CreatePlatformInstance(Tag<ProcessMemory>) {
    return std::make_unique<ProcProcessMemory>();
}

}  // namespace Components
