// The engine's child on Windows: the program itself, started with a switch of its own,
// suspended until it is in a job that ends everything in it once the job's handle closes, so
// that neither a stopped child nor anything it started outlives the run. The request goes in
// on the child's standard input and the report comes back on its standard output.
#include "components/EngineProcess.h"

#include "components/windows/Win32.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "components/CommandLine.h"
#include "components/windows/InProcessEngine.h"
#include "components/windows/WinErrors.h"

namespace Components {

namespace {

constexpr wchar_t kSwitch[] = L"--engine-child";
constexpr char kSwitchUtf8[] = "--engine-child";

// Closes its handle when it goes out of scope.
struct Handle {
    HANDLE h = nullptr;
    Handle() = default;
    explicit Handle(HANDLE handle) : h(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }
    void Close() {
        if (h != nullptr) CloseHandle(h);
        h = nullptr;
    }
};

void WriteAll(HANDLE to, const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1 << 16));
        if (!WriteFile(to, bytes.data() + at, chunk, &written, nullptr) || written == 0) return;
        at += written;
    }
}

// Reads what the pipe holds now, without waiting: the bytes read, or -1 once the other end
// has closed it and nothing is left.
long ReadAvailable(HANDLE from, std::string& text) {
    DWORD available = 0;
    if (!PeekNamedPipe(from, nullptr, 0, nullptr, &available, nullptr)) return -1;
    if (available == 0) return 0;
    std::vector<char> buffer(available);
    DWORD read = 0;
    if (!ReadFile(from, buffer.data(), available, &read, nullptr)) return -1;
    text.append(buffer.data(), read);
    return static_cast<long>(read);
}

// The job that ends the child and all it starts once it is closed; none where Windows makes
// or joins no such job (Windows 7, for a program already in a job of its own).
HANDLE KillingJob() {
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job != nullptr &&
        !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

class ChildEngineProcess final : public EngineProcess {
  public:
    std::optional<std::string> Run(const std::string& request, double seconds) override {
        SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE ends[4] = {};
        // Room for the whole request, so that writing it never waits for the child.
        if (!CreatePipe(&ends[0], &ends[1], &inherited,
                        static_cast<DWORD>(request.size() + 4096)) ||
            !CreatePipe(&ends[2], &ends[3], &inherited, 0)) {
            Win::RaiseLastError("CreatePipe");
        }
        Handle childIn(ends[0]), toChild(ends[1]), fromChild(ends[2]), childOut(ends[3]);
        // Only the child's own ends are inherited.
        SetHandleInformation(toChild.h, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(fromChild.h, HANDLE_FLAG_INHERIT, 0);

        std::wstring program(Win::kLongPath + 1, L'\0');
        const DWORD length = GetModuleFileNameW(nullptr, program.data(), Win::kLongPath + 1);
        if (length == 0 || length > Win::kLongPath) Win::RaiseLastError("GetModuleFileNameW");
        program.resize(length);
        std::wstring commandLine = L"\"" + program + L"\" " + kSwitch;

        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childIn.h;
        startup.hStdOutput = childOut.h;
        startup.hStdError = childOut.h;
        PROCESS_INFORMATION started{};
        if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                            CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                            &started)) {
            Win::RaiseLastError("CreateProcessW");
        }
        Handle process(started.hProcess), thread(started.hThread);
        childIn.Close(), childOut.Close();
        Handle job(KillingJob());
        if (job.h != nullptr && !AssignProcessToJobObject(job.h, process.h)) job.Close();
        ResumeThread(thread.h);
        WriteAll(toChild.h, request);
        toChild.Close();

        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        std::string report;
        bool ended = false;  // the child has closed its end: the report is whole
        while (!ended && std::chrono::steady_clock::now() < deadline) {
            if (ReadAvailable(fromChild.h, report) < 0) {
                ended = true;
            } else if (WaitForSingleObject(process.h, 50) == WAIT_OBJECT_0) {
                while (ReadAvailable(fromChild.h, report) > 0) {
                }
                ended = true;
            }
        }
        if (ended) return report;
        // Without a job the child alone can be stopped.
        if (job.h == nullptr || !TerminateJobObject(job.h, ERROR_TIMEOUT)) {
            TerminateProcess(process.h, ERROR_TIMEOUT);
        }
        // Only once it is gone are the files it held free.
        WaitForSingleObject(process.h, 30000);
        return std::nullopt;
    }

    bool ServeAsChild() override {
        std::vector<std::string> arguments;
        try {
            arguments = The<CommandLine>().Arguments();
        } catch (...) {
            return false;  // the run itself says what is wrong with its command line
        }
        if (arguments.size() != 1 || arguments[0] != kSwitchUtf8) return false;
        try {
            const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
            std::string request;
            char buffer[4096];
            DWORD read = 0;
            while (ReadFile(in, buffer, sizeof buffer, &read, nullptr) && read > 0) {
                request.append(buffer, read);
            }
            WriteAll(GetStdHandle(STD_OUTPUT_HANDLE),
                     ServeRequest(*Win::CreateInProcessEngine(), request));
        } catch (...) {
            // Without its report the run says that the engine's process ended without one.
        }
        return true;
    }
};

}  // namespace

std::unique_ptr<EngineProcess> CreatePlatformInstance(Tag<EngineProcess>) {
    return std::make_unique<ChildEngineProcess>();
}

}  // namespace Components
