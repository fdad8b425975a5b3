// HexToBytes and ParseText on arbitrary text; decoded bytes must encode back to the same text
// (up to the case of the letters).
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
    if (stored > count / 2) std::abort();
    if (stored > 0) {
        velnor::Bytes again;
        if (velnor::BytesToHex(std::span(decoded, stored), again) != 2 * stored) std::abort();
        for (std::size_t i = 0; i < again.size(); ++i) {
            if (again[i] != std::toupper(text[i])) std::abort();
        }
    }

    velnor::MessageHeader header;
    const bool parsed = header.ParseText(text.data(), text.size());
    if (!parsed || header.type < 0 || header.type > 255 || header.length < 0 || header.length > 255) std::abort();
    velnor::MessageCommand record;
    record.ParseStatus(header);
    record.ParseJackStatus(header);
    return 0;
}
