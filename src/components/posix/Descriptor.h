// Descriptors: one owned, and the calls on them that a signal may interrupt. This is the one
// place that tries such a call again after EINTR; everything here goes through the system-call
// table, so that each call can be made to fail.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>

#include "components/posix/SystemCalls.h"

namespace Components::Posix {

// `call` again for as long as a signal interrupts it (it answers a negative number and sets
// errno to EINTR); answers what its last try answered, errno with it.
template <typename Call>
auto Retried(Call call) {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR) return result;
    }
}

inline int OpenRetried(const char* path, int flags, mode_t mode = 0) {
    return Retried([&] { return Sys().Open(path, flags, mode); });
}

// Reads into `data` until `size` bytes are there, the file ends or a read fails: from `offset`
// (pread), or from the file's position when it is -1. Answers how many bytes were read;
// `error` is then the errno of the read that failed, or 0.
std::size_t ReadFull(int fd, void* data, std::size_t size, off_t offset, int& error);

// Writes all `size` bytes: 0, or the errno of the write that failed (EIO for one that wrote
// nothing).
int WriteAll(int fd, const void* data, std::size_t size);

// Closes `fd`: 0, or the close's errno. An interrupted close has closed it all the same.
int CloseReporting(int fd);

// Owns one descriptor.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    void Adopt(int fd) {
        Close();
        fd_ = fd;
    }
    // Closes it and answers the close's error (0 when none, or when there was none open).
    int Close() {
        if (fd_ < 0) return 0;
        const int fd = fd_;
        fd_ = -1;
        return CloseReporting(fd);
    }

  private:
    int fd_;
};

}  // namespace Components::Posix
