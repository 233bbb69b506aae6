// The temporary-folder and temporary-name services as Windows has them: a name is the
// folder, at most three characters of the prefix, four hexadecimal digits and ".TMP"; with
// unique number 0 the service picks the number and creates the empty file exclusively.
#include "components/TempNameServices.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "components/CurrentError.h"
#include "components/posix/Descriptor.h"
#include "components/posix/SystemCalls.h"

namespace Components {

namespace {

using Posix::Sys;

constexpr std::uint32_t kNumbers = 0xFFFF;  // 1 to FFFF; 0 asks the service to pick

void LeaveError(int error) { Err::Current().LastDllError = error; }

// The answer and its NUL at the start of the buffer, the rest left as it was; false when it
// does not fit in `room` bytes.
bool WriteInto(std::string& buffer, std::size_t room, const std::string& answer) {
    room = std::min(room, buffer.size());
    if (answer.size() + 1 > room) return false;
    buffer.replace(0, answer.size() + 1, answer + '\0');
    return true;
}

// The first three characters, not bytes: a prefix outside ASCII is not cut inside one.
std::string FirstThree(const std::string& prefix) {
    std::size_t end = 0;
    for (int characters = 0; characters < 3 && end < prefix.size(); ++characters) {
        ++end;
        while (end < prefix.size() && (static_cast<unsigned char>(prefix[end]) & 0xC0) == 0x80) {
            ++end;
        }
    }
    return prefix.substr(0, end);
}

std::string NameFor(const std::string& stem, std::uint32_t number) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(number & 0xFFFF));
    return stem + digits + ".TMP";
}

class PosixTempNameServices final : public TempNameServices {
  public:
    std::uint32_t GetTempPath(std::uint32_t bufferLength, std::string& buffer) override {
        const char* tmpdir = std::getenv("TMPDIR");
        std::string folder = tmpdir != nullptr && tmpdir[0] != '\0' ? tmpdir : "/tmp/";
        if (folder.back() != '/') folder += '/';
        if (!WriteInto(buffer, bufferLength, folder)) {
            return static_cast<std::uint32_t>(folder.size() + 1);
        }
        return static_cast<std::uint32_t>(folder.size());
    }

    std::uint32_t GetTempFileName(std::string folder, std::string prefix, std::uint32_t unique,
                                  std::string& buffer) override {
        if (!folder.empty() && folder.back() != '/') folder += '/';
        const std::string stem = folder + FirstThree(prefix);
        // Every name has the same length, so whether it fits is known before any is made.
        if (NameFor(stem, 1).size() + 1 > buffer.size()) {
            LeaveError(ENAMETOOLONG);
            return 0;
        }
        if (unique != 0) {
            WriteInto(buffer, buffer.size(), NameFor(stem, unique));
            return unique;
        }
        if (next_ == 0) next_ = FirstGuess();
        for (std::uint32_t tries = 0; tries < kNumbers; ++tries) {
            const std::uint32_t number = next_;
            next_ = next_ % kNumbers + 1;
            const std::string name = NameFor(stem, number);
            const int fd = Posix::OpenRetried(
                name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY,
                0644);
            if (fd < 0) {
                if (errno == EEXIST) continue;  // never reuse a file that is there
                LeaveError(errno);
                return 0;
            }
            Sys().Close(fd);
            WriteInto(buffer, buffer.size(), name);
            return number;
        }
        LeaveError(EEXIST);
        return 0;
    }

  private:
    // Different for each process and each start, so two runs rarely try the same names.
    static std::uint32_t FirstGuess() {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        const auto mixed = static_cast<std::uint32_t>(now.tv_nsec) ^
                           static_cast<std::uint32_t>(now.tv_sec) ^
                           (static_cast<std::uint32_t>(::getpid()) << 7);
        return mixed % kNumbers + 1;
    }

    std::uint32_t next_ = 0;
};

}  // namespace

std::unique_ptr<TempNameServices> CreatePlatformInstance(Tag<TempNameServices>) {
    return std::make_unique<PosixTempNameServices>();
}

}  // namespace Components
