// The library's frames against the simulated keypad, whose protocol code is written apart:
//   - every request the worker sends, built and cut into reports, gives back its frame when the
//     reports are put together again;
//   - the keypad reads it without a frame error, answers the same command and takes the payload;
//   - the keypad's reply, read by the library's assembler and parsers, gives back its type,
//     length and data, and a status reply the keypad's settings;
//   - hexadecimal text both ways: the whole input encoded decodes back to itself; read as text,
//     what decodes encodes back to the same characters (up to the case of the letters).
// Input: [kind][value][bytes: the request's data, also the keypad's serial number and firmware].
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "SimKeypad.h"
#include "protocol/DeviceRequest.h"
#include "protocol/HexText.h"
#include "protocol/MessageCommand.h"
#include "protocol/MessageHeader.h"
#include "protocol/OutputReports.h"
#include "protocol/ReadCycle.h"

namespace {

void HexBothWays(std::span<const std::uint8_t> input) {
    velnor::Bytes text;
    velnor::BytesToHex(input, text);
    velnor::Bytes back(input.size());
    Require(velnor::HexToBytes(text, text.size(), back) == input.size() && std::equal(back.begin(), back.end(), input.begin()));
    std::uint8_t decoded[128];
    const std::size_t stored = velnor::HexToBytes(input, input.size() & ~std::size_t{1}, decoded);
    text.clear();
    velnor::BytesToHex(std::span(decoded, stored), text);
    for (std::size_t i = 0; i < text.size(); ++i) Require(text[i] == std::toupper(input[i]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int kSent[] = {1, 2, 4, 5, 6, 7, 9, 10, 11, 12, 14, 15};
    HexBothWays(std::span(data, size));
    if (size < 2) return 0;
    velnor::DeviceRequest request{kSent[data[0] % 12], data[1], velnor::Bytes(data + 2, data + std::min<std::size_t>(size, 257))};
    velnor::Bytes frame;
    if (!velnor::MessageCommand().BuildFrame(request, frame)) return 0;  // a code table shorter than its length

    const auto reports = velnor::CutIntoReports(frame);
    velnor::Bytes joined(reports[0].begin(), reports[0].end());
    for (std::size_t i = 1; i < reports.size(); ++i) {
        Require(reports[i][0] == 0x3F && reports[i][1] == 0x40);
        joined.insert(joined.end(), reports[i].begin() + 2, reports[i].end());
    }
    Require(joined.size() >= frame.size() && std::equal(frame.begin(), frame.end(), joined.begin()) &&
            std::all_of(joined.begin() + static_cast<std::ptrdiff_t>(frame.size()), joined.end(), [](auto b) { return b == 0; }));

    std::string text(request.data.begin(), request.data.end());
    std::replace(text.begin(), text.end(), '\0', '0');  // the keypad's texts end at a zero byte
    velnorsim::DeviceSetup setup;
    setup.settings.serialNumber = text;
    setup.settings.firmwareName = text.substr(0, data[1] % 9);
    setup.settings.jackStatus = data[1];
    velnorsim::SimKeypad keypad(setup);
    velnorsim::SimKeypad::Outcome outcome;
    for (const auto& report : reports) {
        outcome = keypad.OnOutputReport(velnorsim::Report(report.begin(), report.end()), velnorsim::Clock::now());
    }
    Require(keypad.frameErrors == 0 && outcome.replies.size() == 1);
    const auto value = static_cast<std::uint8_t>(request.value);
    const velnorsim::KeypadSettings& ram = keypad.ram;
    switch (request.kind) {
    case velnor::kLedLevel: Require(ram.ledLevel == value); break;
    case velnor::kBuzzer: Require(ram.buzzer == value); break;
    case velnor::kBuzzerPeriod: Require(ram.buzzerPeriod == value); break;
    case velnor::kKeypadTable: Require(ram.keypadTable == value); break;
    case velnor::kOption: Require(ram.keyCountOption == value); break;
    case velnor::kCodeTable: {
        const std::size_t stored = std::min<std::size_t>(value, 20);
        Require(std::equal(ram.codeTable.begin(), ram.codeTable.begin() + stored, request.data.begin()));
        break;
    }
    case velnor::kSerialNumber:
        Require(ram.serialNumber == std::string(request.data.begin(), std::find(request.data.begin(), request.data.end(), 0)));
        break;
    default: break;
    }

    velnor::Bytes buffer = outcome.replies[0].bytes;
    std::unique_ptr<velnor::MessageIncoming> current;
    velnor::InboundQueue inbound;
    velnor::RunReadCycle(buffer, current, inbound);
    Require(inbound.size() == 1 && inbound[0]->status == velnor::MessageIncoming::FrameOk);
    velnor::MessageHeader header;
    header.ParseHeader(*inbound[0]);
    Require(header.type == request.kind && header.errorCode == 0);
    const std::size_t announced = static_cast<std::size_t>(header.length);
    Require(inbound[0]->text.size() == 4 + announced &&
            std::equal(header.data.begin(), header.data.begin() + static_cast<std::ptrdiff_t>(announced), inbound[0]->text.begin() + 4));
    velnor::MessageCommand record;
    if (request.kind == velnor::kJackStatus) {
        record.ParseJackStatus(header);
        Require(record.ResultCode == 0 && record.JackStatus == ram.jackStatus);
    }
    if (request.kind == velnor::kStatus) {
        record.ParseStatus(header);
        Require(record.ResultCode == 0 && record.LedLevel == ram.ledLevel && record.BuzzerSetting == ram.buzzer &&
                record.KeyCountOption == ram.keyCountOption && record.BuzzerPeriod == ram.buzzerPeriod &&
                record.KeypadTable == ram.keypadTable && record.CodeTable == ram.codeTable &&
                record.FirmwareName == ram.firmwareName.substr(0, 7) && record.SerialNumber == ram.serialNumber.substr(0, 16));
    }
    return 0;
}
