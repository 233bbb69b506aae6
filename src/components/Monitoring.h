// Where monitoring tools look for how each unattended run went, besides the log.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <cstdint>
#include <string>

namespace Components {

enum class Severity { kInformation, kWarning, kError };

// The events an unattended run reports, one per database and one for the run.
enum : std::uint32_t {
    kEventCompacted = 1,
    kEventInUse = 2,
    kEventFailed = 3,
    kEventNoDatabase = 4,
    kEventNearLimit = 5,
    kEventRun = 10,
};

class Monitoring {
  public:
    virtual ~Monitoring() = default;

    // One outcome line: on Linux on standard error, which the journal keeps for a service; on
    // Windows an event `event` in the Application log under the source Tolvane, whose text is
    // the line. Raises nothing: a monitor that cannot be reached takes nothing from the run.
    virtual void Report(const std::string& line, Severity severity, std::uint32_t event) = 0;
};

std::unique_ptr<Monitoring> CreatePlatformInstance(Tag<Monitoring>);

}  // namespace Components
