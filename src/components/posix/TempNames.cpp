// The temporary-folder and temporary-name services, with the buffer rules of their Windows
// counterparts, so the name maker above them runs unchanged.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "components/CurrentError.h"
#include "components/TempNameServices.h"

namespace Components {

namespace {

bool Fill(std::string& buffer, const std::string& text) {
    if (text.size() + 1 > buffer.size()) return false;
    text.copy(buffer.data(), text.size());
    buffer[text.size()] = '\0';
    return true;
}

class PosixTempNames : public TempNameServices {
  public:
    std::uint32_t GetTempPath(std::uint32_t bufferLength, std::string& buffer) override {
        const char* tmpdir = std::getenv("TMPDIR");
        std::string folder = tmpdir && *tmpdir ? tmpdir : "/tmp/";
        if (folder.back() != '/') folder += '/';
        if (folder.size() + 1 > bufferLength || !Fill(buffer, folder)) {
            return static_cast<std::uint32_t>(folder.size() + 1);
        }
        return static_cast<std::uint32_t>(folder.size());
    }

    std::uint32_t GetTempFileName(std::string folder, std::string prefix, std::uint32_t unique,
                                  std::string& buffer) override {
        if (!folder.empty() && folder.back() != '/') folder += '/';
        prefix = prefix.substr(0, 3);
        if (unique != 0) {
            const std::string name = NameFor(folder, prefix, unique & 0xFFFF);
            if (!Fill(buffer, name)) return Fail(ENAMETOOLONG);
            return unique;
        }
        std::uint32_t number = static_cast<std::uint32_t>(std::time(nullptr) ^ getpid()) & 0xFFFF;
        for (int tried = 0; tried < 0xFFFF; ++tried, number = number % 0xFFFF + 1) {
            if (number == 0) number = 1;
            const std::string name = NameFor(folder, prefix, number);
            // Exclusive creation: an existing file is never handed out again.
            const int fd =
                open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd < 0) {
                if (errno == EEXIST) continue;
                return Fail(errno);
            }
            close(fd);
            if (!Fill(buffer, name)) {
                unlink(name.c_str());
                return Fail(ENAMETOOLONG);
            }
            return number;
        }
        return Fail(EEXIST);
    }

  private:
    static std::string NameFor(const std::string& folder, const std::string& prefix,
                               std::uint32_t number) {
        char unique[8];
        std::snprintf(unique, sizeof unique, "%X", number);
        return folder + prefix + unique + ".TMP";
    }
    static std::uint32_t Fail(int code) {
        Err::Current().LastDllError = code;
        return 0;
    }
};

}  // namespace

std::unique_ptr<TempNameServices> CreatePlatformInstance(Tag<TempNameServices>) {
    return std::make_unique<PosixTempNames>();
}

}  // namespace Components
