// Arbitrary sequences of input reports through the worker's receive path: the read cycle,
// ParseHeader, DispatchIncoming and the reply handlers, with the waiting side taking records.
// Input: chunks of [control byte][report bytes]; the low 6 bits of the control byte (0 to 63,
// and 64 for the value 64) give the report length, its top bit makes the caller take the reply.
#include <cstdint>
#include <cstdlib>

#include "FuzzPeer.h"
#include "protocol/MessageCommand.h"
#include "protocol/MessageHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static PlixoApi* api = new PlixoApi();  // never initialised: no device, no worker
    PlixoApiTestPeer::StartAfresh(*api);
    velnor::MessageHeader header;
    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t control = data[at++];
        std::size_t length = control & 0x3F;
        if ((control & 0x7F) == 0x40) length = 64;
        if (length > size - at) length = size - at;
        PlixoApiTestPeer::ProcessReport(*api, data + at, length);
        PlixoApiTestPeer::DrainInbound(*api, header);
        at += length;
        if (control & 0x80) {
            const auto record = PlixoApiTestPeer::TakeReply(*api);
            // A record handed over is complete: its texts keep to their bounds.
            if (record && (record->FirmwareName.size() > 7 || record->SerialNumber.size() > 16)) std::abort();
        }
        if (header.length < 0 || header.length > 255) std::abort();
    }
    return 0;
}
