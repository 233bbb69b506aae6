// The engine's child on Linux: a fork of the program, which takes the engine as it is (and so
// whatever a test planted in the calls it makes) without starting anything anew.
#include "components/EngineProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>

#include "components/posix/PosixErrors.h"

namespace Components {

namespace {

void WriteAll(int fd, const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        at += static_cast<std::size_t>(n);
    }
}

class ForkedEngineProcess final : public EngineProcess {
  public:
    std::optional<std::string> Run(const std::string& request, double seconds) override {
        int report[2];
        if (::pipe2(report, O_CLOEXEC) != 0) Posix::RaiseSystemError(errno, "pipe2");
        // Nothing buffered is written twice.
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child < 0) {
            const int error = errno;
            ::close(report[0]), ::close(report[1]);
            Posix::RaiseSystemError(error, "fork");
        }
        if (child == 0) {
            ::close(report[0]);
            WriteAll(report[1],
                     ServeRequest(*CreatePlatformInstance(Tag<DatabaseEngine>{}), request));
            ::_exit(0);
        }
        ::close(report[1]);
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        std::string text;
        bool ended = false;  // the report is whole: the child closed its end
        while (!ended) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) break;
            pollfd ready{report[0], POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(std::min<long long>(left, INT_MAX))) <= 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = ::read(report[0], buffer, sizeof buffer);
            if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
            ended = n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN);
        }
        ::close(report[0]);
        if (!ended) ::kill(child, SIGKILL);
        // Only once it is gone are its locks and files let go.
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        if (!ended) return std::nullopt;
        return text;
    }

    bool ServeAsChild() override { return false; }
};

}  // namespace

std::unique_ptr<EngineProcess> CreatePlatformInstance(Tag<EngineProcess>) {
    return std::make_unique<ForkedEngineProcess>();
}

}  // namespace Components
