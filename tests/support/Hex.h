// Byte strings written as hexadecimal text in tests ("3F 40 02"), and the keypad's reports
// built here on their own, apart from the library's protocol code.
#ifndef VELNOR_TESTS_HEX_H
#define VELNOR_TESTS_HEX_H

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace velnortest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Ascii(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline Bytes Hex(const std::string& text) {
    std::istringstream words(text);
    Bytes bytes;
    for (unsigned value = 0; words >> std::hex >> value;) bytes.push_back(static_cast<std::uint8_t>(value));
    return bytes;
}

constexpr const char* kHexDigits = "0123456789ABCDEF";

inline std::string ToHex(const Bytes& bytes) {
    std::string text;
    for (std::uint8_t byte : bytes) text += (text.empty() ? "" : " ") + std::string{kHexDigits[byte >> 4], kHexDigits[byte & 15]};
    return text;
}

// A report padded with zeros to 64 bytes.
inline Bytes Padded(Bytes bytes) {
    if (bytes.size() < 64) bytes.resize(64, 0);
    return bytes;
}

// STX, text, ETX and the XOR of all three, behind the given lead bytes.
inline Bytes Framed(Bytes lead, const Bytes& text) {
    const std::size_t stx = lead.size();
    lead.push_back(0x02);
    lead.insert(lead.end(), text.begin(), text.end());
    lead.push_back(0x03);
    std::uint8_t checksum = 0;
    for (std::size_t i = stx; i < lead.size(); ++i) checksum ^= lead[i];
    lead.push_back(checksum);
    return lead;
}

// A frame's text: command or type, and the data length, as hexadecimal text, then the data.
inline Bytes FrameText(unsigned code, const Bytes& data) {
    Bytes text;
    for (std::size_t number : {std::size_t{code}, data.size()}) {
        text.push_back(static_cast<std::uint8_t>(kHexDigits[number >> 4 & 15]));
        text.push_back(static_cast<std::uint8_t>(kHexDigits[number & 15]));
    }
    text.insert(text.end(), data.begin(), data.end());
    return text;
}

// A command as the keypad receives it, in one padded report: 3F 40 and the frame.
inline Bytes CommandReport(unsigned command, const Bytes& payload = {}) {
    return Padded(Framed({0x3F, 0x40}, FrameText(command, payload)));
}

// A reply as the keypad sends it, in one padded report: 3F, the index of the ETX, the frame.
inline Bytes ReplyReport(const Bytes& text) {
    return Padded(Framed({0x3F, static_cast<std::uint8_t>(3 + text.size())}, text));
}

// The command of each report that starts a frame: the two characters after 3F 40 02 ("01").
inline std::vector<std::string> CommandsOf(const std::vector<Bytes>& reports) {
    std::vector<std::string> commands;
    for (const Bytes& report : reports) {
        if (report.size() >= 5) commands.emplace_back(report.begin() + 3, report.begin() + 5);
    }
    return commands;
}

}  // namespace velnortest

#endif
