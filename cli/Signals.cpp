#include "Signals.h"

#include <pthread.h>

namespace velnorcli {

// SIGUSR1 only ends the waiting thread.
StopOnSignals::StopOnSignals() {
    sigemptyset(&blocked_);
    sigaddset(&blocked_, SIGINT);
    sigaddset(&blocked_, SIGTERM);
    sigaddset(&blocked_, SIGHUP);  // a closed terminal or a dropped session: the run ends cleanly too
    sigaddset(&blocked_, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &blocked_, &previous_);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previousPipe_);
    waiter_ = std::thread([this] {
        for (;;) {
            int signal = 0;
            if (sigwait(&blocked_, &signal) != 0 || signal == SIGUSR1) return;
            signal_ = signal;
            ++count_;
            stop_ = true;
        }
    });
}

StopOnSignals::~StopOnSignals() {
    pthread_kill(waiter_.native_handle(), SIGUSR1);
    waiter_.join();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    sigaction(SIGPIPE, &previousPipe_, nullptr);
}

const char* StopOnSignals::Which() const {
    switch (signal_.load()) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return nullptr;
    }
}

}  // namespace velnorcli
