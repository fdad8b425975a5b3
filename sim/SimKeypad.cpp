#include "SimKeypad.h"

#include <algorithm>

namespace velnorsim {

namespace {

constexpr std::uint8_t kFrameStart = 0x02;
constexpr std::uint8_t kFrameEnd = 0x03;
constexpr std::size_t kReportBytes = 64;

const char kHexDigits[] = "0123456789ABCDEF";

void PutHexByte(std::vector<std::uint8_t>& out, int value) {
    out.push_back(static_cast<std::uint8_t>(kHexDigits[(value >> 4) & 0xF]));
    out.push_back(static_cast<std::uint8_t>(kHexDigits[value & 0xF]));
}

int HexValue(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int ReadHexByte(const std::uint8_t* at) {
    const int high = HexValue(at[0]);
    const int low = HexValue(at[1]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

std::uint8_t Xor(const std::uint8_t* begin, const std::uint8_t* end) {
    std::uint8_t sum = 0;
    for (const std::uint8_t* p = begin; p != end; ++p) sum ^= *p;
    return sum;
}

// The text of a reply frame: type and length characters, then the data.
std::vector<std::uint8_t> ReplyText(int type, int announcedLength, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> text;
    PutHexByte(text, type);
    PutHexByte(text, announcedLength);
    text.insert(text.end(), data.begin(), data.end());
    return text;
}

// One input report holding a frame with this text: 3F, ETX index, STX, text, ETX, checksum.
Report FrameReport(const std::vector<std::uint8_t>& text) {
    Report report{0x3F, static_cast<std::uint8_t>(3 + text.size()), kFrameStart};
    report.insert(report.end(), text.begin(), text.end());
    report.push_back(kFrameEnd);
    report.push_back(Xor(report.data() + 2, report.data() + report.size()));
    report.resize(std::max(report.size(), kReportBytes), 0);
    return report;
}

// Faults that stop a report before the keypad sees it.
bool IsWriteFault(FaultKind kind) { return kind == FaultKind::WriteFails || kind == FaultKind::ShortWrite; }

Report OneByteReport(std::uint8_t code) {
    Report report(kReportBytes, 0);
    report[0] = 0x3F;
    report[2] = code;
    return report;
}

}  // namespace

Report BuildReplyReport(int type, const std::vector<std::uint8_t>& data) {
    return FrameReport(ReplyText(type, static_cast<int>(data.size()), data));
}

SimKeypad::SimKeypad(const DeviceSetup& setup)
    : ram(setup.settings), flash(setup.settings), replyDelayMs(setup.replyDelayMs) {}

bool SimKeypad::Assemble(const Report& report, Command& command) {
    if (report.size() < 3 || report[0] != 0x3F || report[1] != 0x40) {
        ++frameErrors;
        body_.clear();
        return false;
    }
    if (body_.empty()) {
        // A new frame: STX, command and length characters come first.
        if (report.size() < 7 || report[2] != kFrameStart) {
            ++frameErrors;
            return false;
        }
        const int length = ReadHexByte(report.data() + 5);
        if (length < 0 || ReadHexByte(report.data() + 3) < 0) {
            ++frameErrors;
            return false;
        }
        expected_ = 7 + static_cast<std::size_t>(length);
    }
    const std::size_t take = std::min(expected_ - body_.size(), report.size() - 2);
    body_.insert(body_.end(), report.begin() + 2, report.begin() + 2 + static_cast<std::ptrdiff_t>(take));
    if (body_.size() < expected_) return false;

    std::vector<std::uint8_t> body;
    body.swap(body_);
    const std::size_t payloadLength = expected_ - 7;
    const std::uint8_t* etx = body.data() + 5 + payloadLength;
    if (*etx != kFrameEnd || Xor(body.data(), etx + 1) != etx[1]) {
        ++frameErrors;
        return false;
    }
    command.code = ReadHexByte(body.data() + 1);
    command.payload.assign(body.begin() + 5, body.begin() + 5 + static_cast<std::ptrdiff_t>(payloadLength));
    return true;
}

std::vector<std::uint8_t> SimKeypad::StatusData() const {
    // Byte 2 is not part of the status the host reads; the keypad sends a marker there.
    const std::uint8_t head[] = {0x00, ram.ledLevel, 0xA5, ram.buzzer, ram.keyCountOption, ram.buzzerPeriod,
                                 ram.keypadTable};
    std::vector<std::uint8_t> data;
    data.reserve(64);
    for (std::uint8_t byte : head) data.push_back(byte);
    for (std::uint8_t byte : ram.codeTable) data.push_back(byte);
    const std::string firmware = ram.firmwareName.substr(0, 7);
    const std::string serial = ram.serialNumber.substr(0, 16);
    data.insert(data.end(), firmware.begin(), firmware.end());
    data.push_back(0);
    data.insert(data.end(), serial.begin(), serial.end());
    data.push_back(0);
    return data;
}

bool SimKeypad::Execute(const Command& command, int& type, std::vector<std::uint8_t>& data, bool& restart) {
    const std::uint8_t first = command.payload.empty() ? 0 : command.payload[0];
    type = command.code;
    data = {0x00};
    switch (command.code) {
    case 1:
        data = StatusData();
        return true;
    case 2:
        ram.ledLevel = first;
        return true;
    case 4:
        ram.buzzer = first;
        return true;
    case 5:
        std::copy_n(command.payload.begin(), std::min(command.payload.size(), ram.codeTable.size()),
                    ram.codeTable.begin());
        return true;
    case 6:
        ram.buzzerPeriod = first;
        return true;
    case 7:
        ram.keypadTable = first;
        return true;
    case 9:
        flash = ram;
        return true;
    case 10:
        restart = true;
        return true;
    case 11:
        ram.keyCountOption = first;
        return true;
    case 12:  // the boot loader is not simulated: the keypad acknowledges and stays
        return true;
    case 14:
        ram.serialNumber.assign(command.payload.begin(), command.payload.end());
        return true;
    case 15:
        data = {0x00, ram.jackStatus};
        return true;
    default:
        return false;
    }
}

std::optional<FaultKind> SimKeypad::RefusesWrite(const Report& report) {
    if (!body_.empty() || report.size() < 5 || report[0] != 0x3F || report[1] != 0x40 || report[2] != kFrameStart) {
        return std::nullopt;
    }
    const int command = ReadHexByte(report.data() + 3);
    for (auto it = faults.rbegin(); it != faults.rend(); ++it) {
        if ((it->command != kAnyCommand && it->command != command) || it->fault.times == 0) continue;
        if (!IsWriteFault(it->fault.kind)) return std::nullopt;
        if (it->fault.times > 0) --it->fault.times;
        return it->fault.kind;
    }
    return std::nullopt;
}

Fault SimKeypad::PickFault(int command) {
    for (auto it = faults.rbegin(); it != faults.rend(); ++it) {
        if ((it->command != kAnyCommand && it->command != command) || it->fault.times == 0 ||
            IsWriteFault(it->fault.kind)) {
            continue;
        }
        if (it->fault.times > 0) --it->fault.times;
        return it->fault;
    }
    if (randomPercent <= 0 || randomKinds.empty()) return {};
    if (!randomStarted_) {
        random_.seed(randomSeed);
        randomStarted_ = true;
    }
    if (std::uniform_int_distribution<int>(0, 99)(random_) >= randomPercent) return {};
    Fault fault;
    fault.kind = randomKinds[std::uniform_int_distribution<std::size_t>(0, randomKinds.size() - 1)(random_)];
    switch (fault.kind) {
    case FaultKind::Delay:
        fault.param = std::uniform_int_distribution<int>(20, 400)(random_);
        break;
    case FaultKind::WrongType:
        fault.param = std::uniform_int_distribution<int>(0, 255)(random_);
        break;
    case FaultKind::Garbage:
        fault.param = std::uniform_int_distribution<int>(1, 3)(random_);
        break;
    case FaultKind::LieEtxIndex:
    case FaultKind::LieLength:
        fault.param = std::uniform_int_distribution<int>(0, 255)(random_);
        break;
    default:
        break;
    }
    return fault;
}

std::vector<Report> SimKeypad::Misbehave(const Fault& fault, int type, const std::vector<std::uint8_t>& data) {
    const auto length = static_cast<int>(data.size());
    switch (fault.kind) {
    case FaultKind::NoReply:
    case FaultKind::Unplug:
        return {};
    case FaultKind::Ack:
        return {OneByteReport(0x06)};
    case FaultKind::Nak:
        return {OneByteReport(0x15)};
    case FaultKind::BadChecksum: {
        Report report = FrameReport(ReplyText(type, length, data));
        report[report[1] + 1u] ^= 0xFF;
        return {report};
    }
    case FaultKind::WrongType:
        return {FrameReport(ReplyText(fault.param, length, data))};
    case FaultKind::LieLength:
        return {FrameReport(ReplyText(type, fault.param, data))};
    case FaultKind::LieEtxIndex: {
        Report report = FrameReport(ReplyText(type, length, data));
        report[1] = static_cast<std::uint8_t>(fault.param);
        return {report};
    }
    case FaultKind::Split: {
        // The first report ends with the frame's first text bytes and holds no ETX: its ETX
        // index names its last byte. The second carries the rest, from offset 2 on.
        const std::vector<std::uint8_t> text = ReplyText(type, length, data);
        std::size_t cut = std::max<std::size_t>(1, text.size() / 2);
        while (cut > 1 && text[cut - 1] == kFrameEnd) --cut;
        Report first{0x3F, 0, kFrameStart};
        first.insert(first.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(cut));
        first[1] = static_cast<std::uint8_t>(first.size() - 1);
        Report second{0x3F, 0};
        second.insert(second.end(), text.begin() + static_cast<std::ptrdiff_t>(cut), text.end());
        second[1] = static_cast<std::uint8_t>(second.size());
        second.push_back(kFrameEnd);
        std::vector<std::uint8_t> whole{kFrameStart};
        whole.insert(whole.end(), text.begin(), text.end());
        whole.push_back(kFrameEnd);
        second.push_back(Xor(whole.data(), whole.data() + whole.size()));
        second.resize(kReportBytes, 0);
        return {first, second};
    }
    case FaultKind::Garbage: {
        std::vector<Report> reports;
        for (int i = 0; i < std::max(1, fault.param); ++i) {
            Report noise(kReportBytes);
            for (std::size_t k = 0; k < noise.size(); ++k) {
                auto byte = static_cast<std::uint8_t>(random_() & 0xFF);
                if (byte == kFrameStart || byte == 0x06 || byte == 0x15) byte = 0x55;
                noise[k] = byte;
            }
            reports.push_back(noise);
        }
        reports.push_back(BuildReplyReport(type, data));
        return reports;
    }
    case FaultKind::None:
    case FaultKind::Delay:
    case FaultKind::WriteFails:
    case FaultKind::ShortWrite:
        break;
    }
    return {BuildReplyReport(type, data)};
}

SimKeypad::Outcome SimKeypad::OnOutputReport(const Report& report, Clock::time_point now) {
    Outcome outcome;
    Command command;
    const int errorsBefore = frameErrors;
    if (!Assemble(report, command)) {
        if (frameErrors != errorsBefore) {
            outcome.replies.push_back({now + std::chrono::milliseconds(replyDelayMs), OneByteReport(0x15)});
        }
        return outcome;
    }
    const KeypadSettings before = ram;
    const KeypadSettings flashBefore = flash;
    int type = 0;
    std::vector<std::uint8_t> data;
    bool restart = false;
    const bool known = Execute(command, type, data, restart);
    outcome.stateChanged = !(ram == before) || !(flash == flashBefore);

    const Fault fault = PickFault(command.code);
    int delay = replyDelayMs + (fault.kind == FaultKind::Delay ? fault.param : 0);
    const Clock::time_point readyAt = now + std::chrono::milliseconds(delay);
    const std::vector<Report> reports = known ? Misbehave(fault, type, data) : std::vector<Report>{OneByteReport(0x15)};
    for (const Report& reply : reports) outcome.replies.push_back({readyAt, reply});
    if (fault.kind == FaultKind::Unplug) {
        // Pulled out: powered down, it will start from flash.
        ram = flash;
        outcome.unplugForMs = std::max(fault.param, 0);
        outcome.stateChanged = true;
    } else if (restart) {
        ram = flash;
        outcome.restartAt = readyAt;
        outcome.stateChanged = true;
    }
    return outcome;
}

}  // namespace velnorsim
