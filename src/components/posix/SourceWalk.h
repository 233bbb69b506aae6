// The database's walk by the reader on a thread of its own, so that it reads the file while
// the copy is written on the other core. Nothing of it is judged before the thread has ended:
// the report is only handed out after the join.
#pragma once

#include <exception>
#include <system_error>
#include <thread>

#include "components/jet/DatabaseCheck.h"
#include "components/posix/DescriptorPages.h"

namespace Components::Posix {

class SourceWalk {
  public:
    SourceWalk(int fd, std::uint64_t size) : pages_(fd, size) {
        try {
            thread_ = std::thread([this] { Walk(); });
        } catch (const std::system_error&) {
            Walk();  // no thread to be had: it walks here, before the copy, as it used to
        }
    }
    ~SourceWalk() { Join(); }
    SourceWalk(const SourceWalk&) = delete;
    SourceWalk& operator=(const SourceWalk&) = delete;

    // Once the walk has ended: its report, and the errno of a read that failed.
    const Jet::CheckReport& Report() {
        Join();
        if (raised_) std::rethrow_exception(raised_);
        return report_;
    }
    int ReadError() {
        Join();
        return pages_.Error();
    }

  private:
    void Walk() {
        try {
            report_ = Jet::CheckDatabase(pages_);
        } catch (...) {
            raised_ = std::current_exception();
        }
    }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

    DescriptorPages pages_;
    Jet::CheckReport report_;
    std::exception_ptr raised_;
    std::thread thread_;
};

}  // namespace Components::Posix
