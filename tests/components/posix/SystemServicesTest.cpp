// The services that tell about the system and the process: version record, application,
// clock and memory counters.
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "PosixTestSupport.h"
#include "components/Application.h"
#include "components/Clock.h"
#include "components/ProcessMemory.h"
#include "components/SystemInfo.h"

namespace {

using namespace PosixTest;
using namespace Components;

TEST(PosixSystemInfo, AnswersTheNtFamilyWithTheKernelVersion) {
    auto info = CreatePlatformInstance(Tag<SystemInfo>{});
    OsVersionRecord record{};
    info->GetOsVersion(record);
    EXPECT_EQ(record.PlatformId, kPlatformNtFamily);
    EXPECT_EQ(record.Size, 148u);
    struct utsname names;
    ASSERT_EQ(::uname(&names), 0);
    unsigned major = 0, minor = 0;
    std::sscanf(names.release, "%u.%u", &major, &minor);
    EXPECT_EQ(record.MajorVersion, major);
    EXPECT_EQ(record.MinorVersion, minor);
    EXPECT_EQ(record.ServicePack[sizeof record.ServicePack - 1], '\0');
    EXPECT_NE(std::string(record.ServicePack).find(names.release), std::string::npos);
}

TEST(PosixApplication, TitleAndExecutableBaseName) {
    auto application = CreatePlatformInstance(Tag<Application>{});
    EXPECT_EQ(application->Title(), "Tolvane");
    EXPECT_EQ(application->ExeBaseName(), "posix_component_tests");
}

TEST(PosixClock, IsTheLocalTimeNow) {
    auto clock = CreatePlatformInstance(Tag<Clock>{});
    const time_t before = ::time(nullptr);
    const LocalTime now = clock->Now();
    const time_t after = ::time(nullptr);
    struct tm expected {};
    ::localtime_r(&before, &expected);
    EXPECT_EQ(now.Year, expected.tm_year + 1900);
    EXPECT_GE(now.Month, 1);
    EXPECT_LE(now.Month, 12);
    EXPECT_GE(now.Day, 1);
    EXPECT_LE(now.Day, 31);
    EXPECT_LE(now.Hour, 23);
    EXPECT_LE(now.Minute, 59);
    EXPECT_LE(now.Second, 59);
    if (before == after) {
        EXPECT_EQ(now.Month, expected.tm_mon + 1);
        EXPECT_EQ(now.Day, expected.tm_mday);
        EXPECT_EQ(now.Hour, expected.tm_hour);
        EXPECT_EQ(now.Minute, expected.tm_min);
        EXPECT_EQ(now.Second, expected.tm_sec);
    }
}

TEST(PosixProcessMemory, CountersOfTheOwnProcessFollowItsMemory) {
    auto memory = CreatePlatformInstance(Tag<ProcessMemory>{});
    EXPECT_EQ(memory->GetCurrentProcessId(), static_cast<std::uint32_t>(::getpid()));
    const ProcessHandle own = memory->OpenProcess(kProcessQueryInformationAndVmRead, false,
                                                  memory->GetCurrentProcessId());
    ASSERT_NE(own, 0);

    ProcessMemoryCounters before{};
    before.Cb = sizeof before;
    ASSERT_TRUE(memory->GetProcessMemoryInfo(own, before, sizeof before));
    EXPECT_GT(before.WorkingSetSize, 0u);
    EXPECT_GT(before.PagefileUsage, 0u);
    EXPECT_EQ(before.Cb, sizeof before) << "the caller's size field stays";

    // 64 MiB more, touched: both the resident set and the private memory grow.
    std::vector<char> block(64 << 20);
    for (std::size_t i = 0; i < block.size(); i += 4096) block[i] = static_cast<char>(i);
    ProcessMemoryCounters after{};
    ASSERT_TRUE(memory->GetProcessMemoryInfo(own, after, sizeof after));
    // Each stays within what the log can show as a signed 32-bit value.
    EXPECT_LE(after.WorkingSetSize, static_cast<std::uint32_t>(INT32_MAX));
    EXPECT_LE(after.PagefileUsage, static_cast<std::uint32_t>(INT32_MAX));
    if (before.WorkingSetSize < INT32_MAX - (64u << 20)) {
        EXPECT_GE(after.WorkingSetSize, before.WorkingSetSize + (48u << 20));
    }
    if (before.PagefileUsage < INT32_MAX - (64u << 20)) {
        EXPECT_GE(after.PagefileUsage, before.PagefileUsage + (48u << 20));
    }
    EXPECT_EQ(block[4096], static_cast<char>(4096));
    EXPECT_TRUE(memory->CloseHandle(own));
}

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

}  // namespace
