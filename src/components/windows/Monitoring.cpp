#include "components/Monitoring.h"

#include "components/windows/Win32.h"
#include "components/windows/WinText.h"

namespace Components {

namespace {

class EventLogMonitoring final : public Monitoring {
  public:
    // A source the installer never registered still reports: the viewer then shows the line
    // among its own words.
    void Report(const std::string& line, Severity severity, std::uint32_t event) override {
        const HANDLE source = RegisterEventSourceW(nullptr, L"Tolvane");
        if (!source) return;
        const std::wstring text = Win::Wide(line);
        const wchar_t* strings[] = {text.c_str()};
        const WORD type = severity == Severity::kError     ? EVENTLOG_ERROR_TYPE
                          : severity == Severity::kWarning ? EVENTLOG_WARNING_TYPE
                                                           : EVENTLOG_INFORMATION_TYPE;
        ReportEventW(source, type, 0, event, nullptr, 1, 0, strings, nullptr);
        DeregisterEventSource(source);
    }
};

}  // namespace

std::unique_ptr<Monitoring> CreatePlatformInstance(Tag<Monitoring>) {
    return std::make_unique<EventLogMonitoring>();
}

}  // namespace Components
