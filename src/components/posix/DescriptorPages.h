// An open file's bytes as pages for the structural check, read through the system-call
// table so that every read can be made to fail.
#pragma once

#include <atomic>
#include <cerrno>
#include <span>

#include "components/jet/DatabaseCheck.h"
#include "components/posix/Descriptor.h"

namespace Components::Posix {

class DescriptorPages final : public Jet::PageSource {
  public:
    DescriptorPages(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        int error = 0;
        if (ReadFull(fd_, out.data(), out.size(), static_cast<off_t>(offset), error) == out.size())
            return true;
        error_ = error != 0 ? error : EIO;  // a file that shrank under us reads as an I/O error
        return false;
    }
    // The errno of the read that failed.
    int Error() const { return error_; }

  private:
    int fd_;
    std::uint64_t size_;
    mutable std::atomic<int> error_ = 0;  // the check may read on two threads
};

}  // namespace Components::Posix
