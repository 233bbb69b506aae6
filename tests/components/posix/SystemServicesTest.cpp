// The memory counters refuse what a whole run never asks for: another process, a bad handle
// and a record too small; the time separator read from the time formats the locales give.
#include "PosixTestSupport.h"
#include "components/ProcessMemory.h"
#include "components/posix/TimeFormat.h"

namespace {

using namespace Components;

TEST(PosixProcessMemory, OtherProcessesAndBadHandlesGetNothing) {
    auto memory = CreatePlatformInstance(Tag<ProcessMemory>{});
    EXPECT_EQ(memory->OpenProcess(kProcessQueryInformationAndVmRead, false, 1), 0) << "not ours";
    ProcessMemoryCounters counters{};
    counters.WorkingSetSize = 77;
    EXPECT_FALSE(memory->GetProcessMemoryInfo(0, counters, sizeof counters));
    EXPECT_EQ(counters.WorkingSetSize, 77u) << "the record stays as it was";
    const ProcessHandle own = memory->OpenProcess(0x410, false, memory->GetCurrentProcessId());
    EXPECT_FALSE(memory->GetProcessMemoryInfo(own, counters, 20)) << "a record too small";
    EXPECT_TRUE(memory->CloseHandle(0));
}

TEST(PosixClock, TimeSeparatorIsThePunctuationBetweenHourAndMinutes) {
    for (const char* format : {"%H.%M.%S", "kl. %H.%M %z", "%p%I.%M.%S %Z"})
        EXPECT_EQ(Posix::TimeSeparatorOf(format), ".") << format;
    for (const char* format : {"%H:%M:%S", "%OH:%OM:%OS", "%T", "%r", "%H\u70b9%M\u5206", "%Hh%M",
                               "%H%M", "%H.%S", "%%H.%M", "", "%", "%H."})
        EXPECT_EQ(Posix::TimeSeparatorOf(format), ":") << format;
}

}  // namespace
