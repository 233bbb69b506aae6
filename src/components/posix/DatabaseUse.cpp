// Whether a database is in use, asked as the engine stand-in would find it: its own lock,
// taken and let go again at once.
#include "components/DatabaseUse.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "components/CurrentError.h"
#include "components/EngineErrors.h"
#include "components/posix/DatabaseLock.h"
#include "components/posix/Descriptor.h"
#include "components/posix/SystemCalls.h"

namespace Components {

namespace {

using Posix::Sys;

// -1 when the file cannot be opened; never waits on a FIFO or becomes a terminal's.
int OpenToRead(const std::string& path) {
    return Posix::OpenRetried(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
}

// Valid UTF-8 as it is, so that names written on this system read as they were written;
// anything else byte by byte as Latin-1.
std::string Utf8OrLatin1(const std::string& bytes) {
    bool valid = true;
    for (std::size_t i = 0; i < bytes.size() && valid;) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80                   ? 1
                                   : lead >= 0xC2 && lead < 0xE0 ? 2
                                   : lead >= 0xE0 && lead < 0xF0 ? 3
                                   : lead >= 0xF0 && lead < 0xF5 ? 4
                                                                 : 0;
        valid = length > 0 && i + length <= bytes.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
        }
        i += length;
    }
    if (valid) return bytes;
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

class PosixDatabaseUse final : public DatabaseUse {
  public:
    bool InUse(std::string path) override {
        const int fd = OpenToRead(path);
        if (fd < 0) return false;
        // Any other refusal (a file system with no locks) is the engine's to report.
        const Err::CurrentErrorRecord before = Err::Current();
        bool held = false;
        try {
            const Posix::DatabaseLock lock(path, fd);
        } catch (const Err::Error& error) {
            held = error.Number() == kEngineFileInUse;
        }
        Err::Current() = before;
        Sys().Close(fd);
        return held;
    }

    std::string ReadStart(std::string path, std::size_t limit) override {
        const int fd = OpenToRead(path);
        if (fd < 0) return {};
        std::string bytes(limit, '\0');
        int error = 0;
        bytes.resize(Posix::ReadFull(fd, bytes.data(), limit, -1, error));
        Sys().Close(fd);
        return bytes;
    }

    std::string FromNarrow(std::string bytes) override { return Utf8OrLatin1(bytes); }
};

}  // namespace

std::unique_ptr<DatabaseUse> CreatePlatformInstance(Tag<DatabaseUse>) {
    return std::make_unique<PosixDatabaseUse>();
}

}  // namespace Components
