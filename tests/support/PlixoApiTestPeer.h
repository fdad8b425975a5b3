// A look inside PlixoApi for the project's tests (the class names this struct its friend). It
// reads data members only, so it works against the shipped library.
#ifndef VELNOR_TESTS_PLIXOAPITESTPEER_H
#define VELNOR_TESTS_PLIXOAPITESTPEER_H

#include <string>

#include "ReplySlot.h"
#include "WorkerPause.h"
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
    static std::size_t QueuedRequests(PlixoApi& api) {
        std::lock_guard lock(api.requestQueueMutex);
        return api.requestQueue.size();
    }
};

#endif
