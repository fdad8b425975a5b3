// Arbitrary sequences of input reports through the worker's receive path: the read cycle,
// ParseHeader, DispatchIncoming and the reply handlers, with the waiting side taking records.
// Input: chunks of [control byte][report bytes]; the low 6 bits of the control byte (0 to 63,
// and 64 for the value 64) give the report length, its top bit makes the caller take the reply.
//
// Whatever came before, two good replies in a row, built by the simulated keypad's own encoder,
// bring the path back: the second is read exactly.
#include <cstdint>

#include "FuzzInput.h"
#include "SimKeypad.h"
#include "protocol/MessageCommand.h"
#include "protocol/MessageHeader.h"
#include "support/PlixoApiTestPeer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static PlixoApi* api = new PlixoApi();  // never initialised: no device, no worker
    PlixoApiTestPeer::StartAfresh(*api);
    velnor::MessageHeader header;
    const auto feed = [&](const std::uint8_t* bytes, std::size_t length) {
        PlixoApiTestPeer::ProcessReport(*api, bytes, length);
        PlixoApiTestPeer::DrainInbound(*api, header);
    };
    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t control = data[at++];
        std::size_t length = control & 0x3F;
        if ((control & 0x7F) == 0x40) length = 64;
        if (length > size - at) length = size - at;
        feed(data + at, length);
        at += length;
        if (control & 0x80) {
            const auto record = PlixoApiTestPeer::TakeReply(*api);
            // A record handed over keeps its texts to the lengths the status reply allows.
            Require(!record || (record->FirmwareName.size() <= 7 && record->SerialNumber.size() <= 16));
        }
    }

    // Its checksum is not STX, which a fresh assembler would take for the start of a frame.
    const velnorsim::Report good = velnorsim::BuildReplyReport(15, {0x00, 0xA5});
    feed(good.data(), good.size());
    PlixoApiTestPeer::TakeReply(*api);
    feed(good.data(), good.size());
    const auto record = PlixoApiTestPeer::TakeReply(*api);
    Require(record && record->ResultCode == 0 && record->JackStatus == 0xA5);
    return 0;
}
