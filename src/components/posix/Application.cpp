#include "components/Application.h"

#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "components/posix/PosixErrors.h"
#include "components/posix/PosixPaths.h"

namespace Components {

namespace {

class PosixApplication final : public Application {
  public:
    std::string Title() override { return "Tolvane"; }

    std::string ExeBaseName() override {
        std::string path(256, '\0');
        for (;;) {
            const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
            if (n < 0) Posix::RaiseSystemError(errno, "ExeBaseName '/proc/self/exe'");
            // A result that fills the buffer may have been cut short.
            if (static_cast<std::size_t>(n) < path.size()) {
                path.resize(static_cast<std::size_t>(n));
                break;
            }
            path.resize(path.size() * 2);
        }
        // An executable replaced while it runs is reported with this mark.
        constexpr std::string_view kDeleted = " (deleted)";
        if (path.size() > kDeleted.size() && path.ends_with(kDeleted)) {
            path.resize(path.size() - kDeleted.size());
        }
        std::string name = Posix::NamePart(path);
        const auto dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0) name.resize(dot);
        if (name.empty()) Posix::RaiseSystemError(ENOENT, "ExeBaseName '" + path + "'");
        return name;
    }
};

}  // namespace

std::unique_ptr<Application> CreatePlatformInstance(Tag<Application>) {
    return std::make_unique<PosixApplication>();
}

}  // namespace Components
