#include "components/Monitoring.h"

#include <cstdio>

namespace Components {

namespace {

class StandardErrorMonitoring final : public Monitoring {
  public:
    void Report(const std::string& line, Severity, std::uint32_t) override {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
};

}  // namespace

std::unique_ptr<Monitoring> CreatePlatformInstance(Tag<Monitoring>) {
    return std::make_unique<StandardErrorMonitoring>();
}

}  // namespace Components
