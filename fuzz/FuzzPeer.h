// The fuzzers' look inside PlixoApi. They link the library's code statically, so they can run
// the worker's receive path without a device or a thread.
#ifndef VELNOR_FUZZ_FUZZPEER_H
#define VELNOR_FUZZ_FUZZPEER_H

#include "ReplySlot.h"
#include "protocol/MessageIncoming.h"
#include "velnor/PlixoApi.h"

struct PlixoApiTestPeer {
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
    static std::unique_ptr<velnor::MessageCommand> TakeReply(PlixoApi& api) { return api.replySlot->Take(); }
};

#endif
