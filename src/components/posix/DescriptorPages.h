// An open file's bytes as pages for the structural check, read through the system-call
// table so that every read can be made to fail.
#pragma once

#include <cerrno>
#include <span>

#include "components/jet/DatabaseCheck.h"
#include "components/posix/SystemCalls.h"

namespace Components::Posix {

class DescriptorPages final : public Jet::PageSource {
  public:
    DescriptorPages(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        for (std::size_t have = 0; have < out.size();) {
            const ssize_t n = Sys().Pread(fd_, out.data() + have, out.size() - have,
                                          static_cast<off_t>(offset + have));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error_ = n < 0 ? errno : EIO;  // a file that shrank under us reads as an I/O error
                return false;
            }
            have += static_cast<std::size_t>(n);
        }
        return true;
    }
    // The errno of the read that failed.
    int Error() const { return error_; }

  private:
    int fd_;
    std::uint64_t size_;
    mutable int error_ = 0;
};

}  // namespace Components::Posix
