#include "components/posix/Descriptor.h"

namespace Components::Posix {

std::size_t ReadFull(int fd, void* data, std::size_t size, off_t offset, int& error) {
    auto* bytes = static_cast<char*>(data);
    std::size_t have = 0;
    error = 0;
    while (have < size) {
        const ssize_t n = Retried([&] {
            return offset < 0 ? Sys().Read(fd, bytes + have, size - have)
                              : Sys().Pread(fd, bytes + have, size - have,
                                            offset + static_cast<off_t>(have));
        });
        if (n < 0) error = errno;
        if (n <= 0) break;
        have += static_cast<std::size_t>(n);
    }
    return have;
}

int WriteAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = Retried([&] { return Sys().Write(fd, bytes + done, size - done); });
        if (n <= 0) return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int CloseReporting(int fd) { return Sys().Close(fd) == 0 || errno == EINTR ? 0 : errno; }

}  // namespace Components::Posix
