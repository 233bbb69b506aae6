#include <climits>
#include <cstdio>
#include <utility>

#include "components/Application.h"
#include "components/Clock.h"
#include "components/CurrentError.h"
#include "components/FileSystem.h"
#include "components/LogSettings.h"
#include "components/ProcessMemory.h"
#include "components/SystemInfo.h"
#include "general/qnGeneral.h"

namespace qnGeneral {

std::int32_t LogIndent = 0;

namespace {

using Components::The;

std::string TwoDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

std::string DateStamp(const Components::LocalTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", t.Year, t.Month, t.Day);
    return text;
}

std::string TimeStamp(const Components::LocalTime& t, const std::string& separator) {
    return TwoDigits(t.Hour) + separator + TwoDigits(t.Minute) + separator + TwoDigits(t.Second);
}

std::int32_t IndentWidth() {
    if (LogIndent > INT32_MAX / 4) Err::Raise(Err::kOverflow, "Overflow");
    return LogIndent * 4;
}

}  // namespace

void WriteLog(std::string text, std::int32_t level, const std::int32_t& IndentAction) {
    auto& settings = The<Components::LogSettings>();
    if (settings.LoggingLevel() == 0) return;
    if (settings.LoggingLevel() != -1) {
        if (level == -1) level = kDefaultLevel;
        if (level > settings.LoggingLevel()) return;
    }

    if (IndentAction == kIndentClose) {
        LogIndent -= 1;
        if (LogIndent < 0) LogIndent = 0;
    } else if (IndentAction == kIndentReset) {
        LogIndent = 0;
    }

    // The date is read before the time, so a call straddling midnight stays in one file.
    auto& clock = The<Components::Clock>();
    const std::string fileName =
        The<Components::Application>().ExeBaseName() + "." + DateStamp(clock.Now()) + ".log";
    std::string line = TimeStamp(clock.Now(), clock.TimeSeparator());

    if (settings.LoggingLevel() >= 10) {
        Components::OsVersionRecord version{};
        The<Components::SystemInfo>().GetOsVersion(version);
        if (version.PlatformId == Components::kPlatformNtFamily) {
            std::int32_t workingSet = 0;
            std::int32_t pagefile = 0;
            GetMemoryUsage(workingSet, pagefile);
            line += " " + settings.PadText(std::to_string(workingSet), 10, " ");
            line += " " + settings.PadText(std::to_string(pagefile), 10, " ");
        }
    }

    line += std::string(static_cast<std::size_t>(IndentWidth()), ' ') + " " + text;

    {
        // A log that cannot be written, or has no folder to be written in, must never stop
        // the work it describes, nor change what the caller knows of its own errors.
        Err::CurrentErrorRecord callers = Err::Current();
        {
            Err::ResumeNext resume;
            resume.Step(
                [&] { The<Components::FileSystem>().AppendToLog(fileName, line + "\r\n"); });
        }
        Err::Current() = std::move(callers);
    }

    if (IndentAction == kIndentOpen) {
        if (LogIndent == INT32_MAX) Err::Raise(Err::kOverflow, "Overflow");
        LogIndent += 1;
    }
}

void GetMemoryUsage(std::int32_t& WorkingSetSize, std::int32_t& PagefileUsage) {
    auto& memory = The<Components::ProcessMemory>();
    Components::ProcessMemoryCounters counters{};
    const auto process = memory.OpenProcess(Components::kProcessQueryInformationAndVmRead, false,
                                            memory.GetCurrentProcessId());
    counters.Cb = sizeof counters;
    memory.GetProcessMemoryInfo(process, counters, sizeof counters);
    WorkingSetSize = static_cast<std::int32_t>(counters.WorkingSetSize);
    PagefileUsage = static_cast<std::int32_t>(counters.PagefileUsage);
    memory.CloseHandle(process);
}

}  // namespace qnGeneral
