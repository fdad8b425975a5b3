// A look inside PlixoApi for the project's tests and fuzzers (the class names this struct its
// friend). The tests use what reads data members only, so it works against the shipped library;
// the fuzzers, which link the library's code statically, also run the worker's receive path
// without a device or a thread.
#ifndef VELNOR_TESTS_PLIXOAPITESTPEER_H
#define VELNOR_TESTS_PLIXOAPITESTPEER_H

#include <string>

#include "ReplySlot.h"
#include "WorkerPause.h"
#include "protocol/MessageIncoming.h"
#include "velnor/PlixoApi.h"

struct PlixoApiTestPeer {
    static ConnectionState State(const PlixoApi& api) { return api.connectionState.load(); }
    static std::thread::id WorkerId(const PlixoApi& api) { return api.workerThread.get_id(); }
    static bool PauseRequested(const PlixoApi& api) { return api.workerPause->park.Requested(); }
    static std::mutex& RequestQueueMutex(PlixoApi& api) { return api.requestQueueMutex; }
    static std::mutex& KeyBufferMutex(PlixoApi& api) { return api.keyBufferMutex; }
    static int ReplyCounter(const PlixoApi& api) { return api.replyCounter.load(); }
    static void ResetReplyCounter(PlixoApi& api) { api.replyCounter.store(0); }
    static bool ReplySlotHolds(const PlixoApi& api) { return api.replySlot->Holds(); }
    static std::unique_ptr<velnor::MessageCommand> TakeReply(PlixoApi& api) { return api.replySlot->Take(); }
    static std::string Manufacturer(const PlixoApi& api) { return api.manufacturer; }
    static std::string Product(const PlixoApi& api) { return api.product; }
    static void StartAfresh(PlixoApi& api) {
        api.receiveBuffer.clear();
        api.currentIncoming.reset();
        api.inboundQueue.clear();
        api.replySlot->Take();
        api.replyCounter = 0;
    }
    static void ProcessReport(PlixoApi& api, const std::uint8_t* bytes, std::size_t count) {
        api.ProcessReport(bytes, count);
    }
    static void DrainInbound(PlixoApi& api, velnor::MessageHeader& header) { api.DrainInbound(header); }
    static std::size_t QueuedRequests(PlixoApi& api) {
        std::lock_guard lock(api.requestQueueMutex);
        return api.requestQueue.size();
    }
};

#endif
