// The logging level from one small file in the user's configuration folder:
// ${XDG_CONFIG_HOME:-~/.config}/tolvane/logging-level, holding a decimal integer.
#include "components/LogSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "components/TextPadding.h"
#include "components/posix/Descriptor.h"
#include "components/posix/PosixPaths.h"
#include "components/posix/SystemCalls.h"

namespace Components {

namespace {

constexpr std::int32_t kLevelWhenUnset = 5;
constexpr std::size_t kLongestLevelFile = 4096;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A decimal integer with an optional sign and white space around it; nothing else.
std::optional<std::int32_t> ParseLevel(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > static_cast<long long>(INT32_MAX) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// The file's text; nothing when it is missing, unreadable, not a regular file or too long to
// be a level. Never blocks: a FIFO put in its place is refused, not read.
std::optional<std::string> ReadLevelFile(const std::string& path) {
    const int fd = Posix::Sys().Open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> text;
    struct stat status;
    if (Posix::Sys().Fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        std::string bytes(kLongestLevelFile + 1, '\0');
        int error = 0;
        bytes.resize(Posix::ReadFull(fd, bytes.data(), bytes.size(), -1, error));
        if (error == 0 && bytes.size() <= kLongestLevelFile) text = std::move(bytes);
    }
    Posix::Sys().Close(fd);
    return text;
}

class FileLogSettings final : public LogSettings {
  public:
    std::int32_t LoggingLevel() override {
        const std::string folder = Posix::XdgFolder("XDG_CONFIG_HOME", ".config");
        if (folder.empty()) return kLevelWhenUnset;
        const auto text = ReadLevelFile(folder + "/tolvane/logging-level");
        if (!text) return kLevelWhenUnset;
        return ParseLevel(*text).value_or(kLevelWhenUnset);
    }

    std::string PadText(std::string text, std::int32_t width, std::string fill) override {
        return LeftPadded(text, width, fill);
    }
};

}  // namespace

std::unique_ptr<LogSettings> CreatePlatformInstance(Tag<LogSettings>) {
    return std::make_unique<FileLogSettings>();
}

}  // namespace Components
