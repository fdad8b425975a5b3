// Hexadecimal text both ways: decoded bytes encode back to the same text (up to the case of
// the letters), and any bytes encoded decode back to themselves. The text is also parsed as a
// frame text and a reply record, to catch reads out of bounds.
#include <cctype>
#include <cstdint>
#include <cstdlib>

#include "protocol/HexText.h"
#include "protocol/MessageCommand.h"
#include "protocol/MessageHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t count = data[0];
    const std::span<const std::uint8_t> text(data + 1, size - 1);

    std::uint8_t decoded[128];
    const std::size_t stored = velnor::HexToBytes(text, count, decoded);
    velnor::Bytes again;
    velnor::BytesToHex(std::span(decoded, stored), again);
    for (std::size_t i = 0; i < again.size(); ++i) {
        if (again[i] != std::toupper(text[i])) std::abort();
    }

    velnor::Bytes encoded;
    velnor::BytesToHex(text, encoded);
    velnor::Bytes back(text.size());
    if (velnor::HexToBytes(encoded, encoded.size(), back) != text.size() || !std::equal(back.begin(), back.end(), text.begin())) {
        std::abort();
    }

    velnor::MessageHeader header;
    header.ParseText(text.data(), text.size());
    velnor::MessageCommand record;
    record.ParseStatus(header);
    record.ParseJackStatus(header);
    return 0;
}
