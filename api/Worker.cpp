// The worker thread: one cycle per pass, by connection state.
#include <chrono>

#include "AutoResetEvent.h"
#include "Boundary.h"
#include "WorkerPause.h"
#include "protocol/MessageHeader.h"
#include "velnor/PlixoApi.h"

int PlixoApi::WorkerMain() {
    velnor::MessageHeader header;
    while (running == 1) {
        velnor::CatchAtBoundary(lastError, [&] {
            workerPause->ParkIfRequested();
            switch (connectionState.load()) {
            case ConnectionState::NotConnected:
                if (running == 1) Reconnect(100);
                break;
            case ConnectionState::Connected:
                requestEvent->WaitFor(std::chrono::milliseconds(100));
                break;
            case ConnectionState::ConnectionLost:
                SetConnectionState(ConnectionState::NotConnected);
                break;
            }
            return 0;
        });
    }
    return 0;
}
