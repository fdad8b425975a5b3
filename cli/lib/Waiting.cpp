#include "Waiting.h"

#include <poll.h>

#include <cerrno>

namespace velnorcli {

Readiness AwaitReady(int fd, short events, const std::atomic<bool>* stop) {
    pollfd watched{fd, events, 0};
    for (;;) {
        if (StopRequested(stop)) return Readiness::Stopped;
        const int ready = poll(&watched, 1, stop != nullptr ? static_cast<int>(kWaitSlice.count()) : -1);
        if (ready < 0 && errno != EINTR) return Readiness::Failed;
        if (ready <= 0) continue;
        if ((watched.revents & POLLNVAL) != 0) {
            errno = EBADF;
            return Readiness::Failed;
        }
        return Readiness::Ready;
    }
}

}  // namespace velnorcli
