// Facts about this process and machine: settings, version, title, clock, memory.
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "components/Application.h"
#include "components/Clock.h"
#include "components/CurrentError.h"
#include "components/LogSettings.h"
#include "components/ProcessMemory.h"
#include "components/SystemInfo.h"

namespace Components {

namespace {

class FileLogSettings : public LogSettings {
  public:
    std::int32_t LoggingLevel() override {
        std::ifstream in(LevelFile());
        long long level = 0;
        std::string rest;
        if (!(in >> level) || (in >> rest) || level < INT32_MIN || level > INT32_MAX) {
            return kDefault;
        }
        return static_cast<std::int32_t>(level);
    }

    std::string PadText(std::string text, std::int32_t width, std::string fill) override {
        if (fill.empty()) return text;
        while (static_cast<std::int64_t>(text.size()) < width) text.insert(0, fill);
        return text;
    }

  private:
    static constexpr std::int32_t kDefault = 5;
    static std::string LevelFile() {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        if (config && *config) return std::string(config) + "/tolvane/logging-level";
        const char* home = std::getenv("HOME");
        return std::string(home ? home : "") + "/.config/tolvane/logging-level";
    }
};

class UnameSystemInfo : public SystemInfo {
  public:
    // Linux keeps the counters the log shows at level 10, as the NT family does.
    void GetOsVersion(OsVersionRecord& record) override {
        record.Size = sizeof record;
        record.PlatformId = kPlatformNtFamily;
        utsname name{};
        if (uname(&name) == 0) {
            unsigned major = 0, minor = 0, build = 0;
            std::sscanf(name.release, "%u.%u.%u", &major, &minor, &build);
            record.MajorVersion = major;
            record.MinorVersion = minor;
            record.BuildNumber = build;
        }
    }
};

class ProcessApplication : public Application {
  public:
    std::string Title() override { return "Tolvane"; }
    std::string ExeBaseName() override {
        char path[4096];
        const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
        if (length <= 0)
            Err::Raise(Err::kFileNotFound, "ExeBaseName: the executable cannot be found");
        std::string name(path, static_cast<std::size_t>(length));
        name = name.substr(name.find_last_of('/') + 1);
        const auto dot = name.find_last_of('.');
        return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    }
};

class SystemClock : public Clock {
  public:
    LocalTime Now() override {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour,        local.tm_min,     local.tm_sec};
    }
};

// The resident set stands for the working set, and the private memory the process has
// committed (its data and stack) for the page-file usage.
class ProcMemory : public ProcessMemory {
  public:
    std::uint32_t GetCurrentProcessId() override { return static_cast<std::uint32_t>(getpid()); }
    ProcessHandle OpenProcess(std::uint32_t, bool, std::uint32_t processId) override {
        return processId == static_cast<std::uint32_t>(getpid()) ? kOwnProcess : 0;
    }
    bool GetProcessMemoryInfo(ProcessHandle process, ProcessMemoryCounters& counters,
                              std::uint32_t size) override {
        if (process != kOwnProcess || size < sizeof counters) return false;
        std::ifstream status("/proc/self/status");
        std::string line;
        std::uint64_t rss = 0, data = 0, stack = 0;
        while (std::getline(status, line)) {
            std::istringstream fields(line);
            std::string key;
            std::uint64_t kilobytes = 0;
            fields >> key >> kilobytes;
            if (key == "VmRSS:") rss = kilobytes;
            if (key == "VmData:") data = kilobytes;
            if (key == "VmStk:") stack = kilobytes;
        }
        counters.WorkingSetSize = Clamp(rss * 1024);
        counters.PagefileUsage = Clamp((data + stack) * 1024);
        return rss != 0;
    }
    bool CloseHandle(ProcessHandle handle) override { return handle == kOwnProcess; }

  private:
    static constexpr ProcessHandle kOwnProcess = -1;
    // The log reads the counters as signed 32-bit values; a larger figure (a sanitizer's
    // reservations, say) shows as the largest one rather than as a negative.
    static std::uint32_t Clamp(std::uint64_t bytes) {
        return bytes > INT32_MAX ? INT32_MAX : static_cast<std::uint32_t>(bytes);
    }
};

}  // namespace

std::unique_ptr<LogSettings> CreatePlatformInstance(Tag<LogSettings>) {
    return std::make_unique<FileLogSettings>();
}
std::unique_ptr<SystemInfo> CreatePlatformInstance(Tag<SystemInfo>) {
    return std::make_unique<UnameSystemInfo>();
}
std::unique_ptr<Application> CreatePlatformInstance(Tag<Application>) {
    return std::make_unique<ProcessApplication>();
}
std::unique_ptr<Clock> CreatePlatformInstance(Tag<Clock>) {
    return std::make_unique<SystemClock>();
}
std::unique_ptr<ProcessMemory> CreatePlatformInstance(Tag<ProcessMemory>) {
    return std::make_unique<ProcMemory>();
}

}  // namespace Components
