// The worker thread: one cycle per pass, by connection state. While connected a cycle waits up
// to 100 ms for requests, sends every queued one, reads one input report (up to 300 ms) and
// dispatches what it completed.
//
// A keypad opened by selection is taken for lost as soon as a read or a write fails (hidapi's
// "device disconnected"); the design's own opening keeps its rule: a failed read is only
// recorded, and a failed write closes the keypad at the next idle wait.
#include <hidapi.h>

#include <algorithm>
#include <chrono>
#include <mutex>

#include "AutoResetEvent.h"
#include "Boundary.h"
#include "HidapiLock.h"
#include "PollingLock.h"
#include "ReplySlot.h"
#include "WorkerPause.h"
#include "protocol/DeviceRequest.h"
#include "protocol/MessageCommand.h"
#include "protocol/MessageHeader.h"
#include "protocol/MessageIncoming.h"
#include "protocol/ReadCycle.h"
#include "velnor/PlixoApi.h"

using velnor::CatchAtBoundary;

namespace {
constexpr int kReadTimeoutMs = 300;
// The read's 300 ms are waited in slices, so that a destructor does not wait them out.
constexpr int kReadSliceMs = 50;
constexpr int kReconnectDelayMs = 100;
// A keypad opened by selection is looked for more often while it may be restarting, so that a
// caller waiting for it to come back learns of it soon; one absent for longer (unplugged, or
// not there yet) is looked for less often, as each look enumerates every HID device.
constexpr int kSelectedReconnectDelayMs = 40;
constexpr int kSelectedAbsentDelayMs = 200;
constexpr std::chrono::seconds kRestartAbsence{10};

int ReconnectDelay(bool bySelection, std::chrono::steady_clock::duration absent) {
    if (!bySelection) return kReconnectDelayMs;
    return absent < kRestartAbsence ? kSelectedReconnectDelayMs : kSelectedAbsentDelayMs;
}
}  // namespace

int PlixoApi::WorkerMain() {
    velnor::MessageHeader header;
    const bool bySelection = workerPause->opening.BySelection();
    auto absentSince = std::chrono::steady_clock::now();  // worker only
    while (running == 1) {
        CatchAtBoundary(lastError, [&] {
            workerPause->park.ParkIfRequested();
            switch (connectionState.load()) {
            case ConnectionState::NotConnected:
                if (running == 1) Reconnect(ReconnectDelay(bySelection, std::chrono::steady_clock::now() - absentSince));
                break;
            case ConnectionState::Connected:
                absentSince = std::chrono::steady_clock::now();
                if (ServiceRequests(100) && connectionState.load() == ConnectionState::Connected &&
                    !workerPause->park.Requested() && running == 1) {
                    ReadDevice();
                    DrainInbound(header);
                }
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

bool PlixoApi::ServiceRequests(int milliseconds) {
    return CatchAtBoundary(lastError, [&] {
        if (!requestEvent->WaitFor(std::chrono::milliseconds(milliseconds))) {
            // An idle wait after a failed write: the keypad is taken for lost.
            if (writeFailed) LoseKeypad();
            return 1;
        }
        for (;;) {
            std::unique_ptr<velnor::DeviceRequest> request;
            {
                std::lock_guard lock(requestQueueMutex);
                if (requestQueue.empty()) break;
                request = std::move(requestQueue.front());
                requestQueue.pop_front();
            }
            if (!velnor::IsSentKind(request->kind)) continue;
            velnor::MessageCommand command;
            velnor::Bytes frame;
            command.BuildFrame(*request, frame);
            replySlot->Sent(request->ticket);
            if (!SendFrame(frame)) {
                if (workerPause->opening.BySelection()) {
                    // The operation learns that its request never reached the keypad, not merely
                    // that the keypad went: after a reset, only the second means a restart.
                    replySlot->OnWriteFailed(request->ticket);
                    LoseKeypad();
                } else {
                    writeFailed = true;
                }
                throw WRITE_FAILED;
            }
            if (request->kind == velnor::kResetToFactoryDefault) workerPause->events.RestartWritten();
        }
        return 1;
    }) == 1;
}

// The state goes first, so that operations refuse while the handle is closed; requests still
// queued were meant for the keypad as it was, and are dropped. A keypad opened by selection is
// looked for from now on, with hidapi kept set up for the looks.
void PlixoApi::LoseKeypad() {
    writeFailed = false;
    SetConnectionState(ConnectionState::ConnectionLost);
    if (workerPause->opening.BySelection()) {
        std::lock_guard lock(velnor::HidapiLock());
        CloseHandle();
    } else {
        CloseDevice();
    }
    receiveBuffer.clear();
    if (currentIncoming) currentIncoming = std::make_unique<velnor::MessageIncoming>();
    DropQueuedRequests();
}

void PlixoApi::DropQueuedRequests() {
    {
        std::lock_guard lock(requestQueueMutex);
        requestQueue.clear();
    }
    replySlot->OnLost();
}

void PlixoApi::ReadDevice() {
    CatchAtBoundary(lastError, [&] {
        if (device == nullptr) throw UNKNOWN_ERROR;
        std::uint8_t report[64];
        int count = 0;
        for (int waited = 0; count == 0 && waited < kReadTimeoutMs && running == 1; waited += kReadSliceMs) {
            count = hid_read_timeout(device, report, sizeof report, std::min(kReadSliceMs, kReadTimeoutMs - waited));
        }
        if (count < 0) {
            if (workerPause->opening.BySelection()) LoseKeypad();
            throw UNKNOWN_ERROR;
        }
        ProcessReport(report, std::min<std::size_t>(static_cast<std::size_t>(count), sizeof report));
        return 0;
    });
}

void PlixoApi::ProcessReport(const std::uint8_t* bytes, std::size_t count) {
    receiveBuffer.assign(bytes, bytes + count);
    velnor::RunReadCycle(receiveBuffer, currentIncoming, inboundQueue);
}

void PlixoApi::DrainInbound(velnor::MessageHeader& header) {
    CatchAtBoundary(lastError, [&] {
        while (!inboundQueue.empty()) {
            const std::unique_ptr<velnor::MessageIncoming> message = std::move(inboundQueue.front());
            inboundQueue.pop_front();
            if (message->status == velnor::MessageIncoming::Nak) replySlot->OnNak();
            if (!velnor::HeaderDecodes(*message)) replySlot->OnUndecodable();
            if (header.ParseHeader(*message)) DispatchIncoming(header);
        }
        return 0;
    });
}

int PlixoApi::QueueRequest(std::unique_ptr<velnor::DeviceRequest>& request) {
    return CatchAtBoundary(lastError, [&] {
        std::unique_lock lock = velnor::LockByPolling(requestQueueMutex);
        requestQueue.push_back(std::move(request));
        lock.unlock();
        requestEvent->Signal();
        return 0;
    });
}
