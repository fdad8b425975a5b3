#include "Keypad.h"

#include <functional>
#include <thread>

#include "Selection.h"
#include "Text.h"

namespace velnorcli {

Failure FailureOf(int code, const KEYPAD_ENTRY& keypad, const std::string& step) {
    const std::string name = "keypad " + KeypadName(keypad);
    switch (code) {
    case PlixoApi::NOT_CONNECTED:
        return {kNoKeypad, name + " is not there any more (" + step + ")"};
    case PlixoApi::ACCESS_DENIED:
        return {kPermission, "permission denied on " + EscapeControl(keypad.Path) + " (" + name +
                                 "): install the udev rule or join the group it names; `velnor doctor` says how"};
    case PlixoApi::TIMEOUT:
        return {kNoAnswer, name + " did not answer (" + step + ")"};
    case PlixoApi::CONNECTION_LOST:
        return {kNoAnswer, name + " was lost (" + step + ")"};
    case PlixoApi::WRITE_FAILED:
        return {kNoAnswer, name + " could not be written to, and was lost (" + step + ")"};
    case PlixoApi::REFUSED:
        return {kNoAnswer, name + " refused the command (" + step + ")"};
    case PlixoApi::INVALID_REPLY:
        return {kNoAnswer, name + " gave a reply that cannot be read (" + step + ")"};
    default:
        return {kNoAnswer, name + ": " + step + " failed with code " + std::to_string(code)};
    }
}

Keypad::Keypad(KEYPAD_ENTRY entry) : entry_(std::move(entry)) {}
Keypad::~Keypad() = default;

std::optional<Failure> Keypad::Open(int timeoutMs) {
    KEYPAD_SELECTION selection;
    selection.By = SELECT_BY_PATH;
    selection.Value = entry_.Path;
    api_ = std::make_unique<PlixoApi>(selection);
    const int result = api_->OpenKeypad(timeoutMs);
    if (result != 0) return FailureOf(result, entry_, "opening it");
    return std::nullopt;
}

std::optional<Failure> Keypad::ReadStatus(DEVICE_INFO& status, int timeoutMs) {
    if (!api_) return FailureOf(PlixoApi::NOT_CONNECTED, entry_, "reading the status");
    const int result = api_->GetDeviceStatus(&status, timeoutMs);
    if (result != 0) return FailureOf(result, entry_, "reading the status");
    return std::nullopt;
}

KEYPAD_ENTRY Keypad::Current() const {
    KEYPAD_ENTRY now;
    return api_ && api_->GetOpenedKeypad(&now) == 0 ? now : entry_;
}

int Keypad::Status(DEVICE_INFO& status) {
    return api_ ? api_->GetDeviceStatus(&status, kReplyTimeoutMs) : PlixoApi::NOT_CONNECTED;
}

int Keypad::Write(Field field, const Target& target) {
    if (!api_) return PlixoApi::NOT_CONNECTED;
    const Settings& s = target.settings;
    switch (field) {
    case Field::LedLevel: return api_->SetLedLevel(s.ledLevel, kReplyTimeoutMs);
    case Field::Buzzer: return api_->SetBuzzer(s.buzzer, kReplyTimeoutMs);
    case Field::BuzzerPeriod: return api_->SetBuzzerPeriod(s.buzzerPeriod, kReplyTimeoutMs);
    case Field::KeypadTable: return api_->SetKeypadTable(s.keypadTable, kReplyTimeoutMs);
    case Field::KeyCountOption: return api_->SetOption(s.keyCountOption, kReplyTimeoutMs);
    case Field::CodeTable:
        return api_->LoadCodeTable(reinterpret_cast<const char*>(s.codeTable.data()),
                                   static_cast<int>(s.codeTable.size()), kReplyTimeoutMs);
    case Field::Serial: return api_->SetSerialNumber(target.serialText.c_str(), kReplyTimeoutMs);
    }
    return PlixoApi::INVALID_ARGUMENT;
}

int Keypad::Flash() { return api_ ? api_->WriteDefaultToFlash(kReplyTimeoutMs) : PlixoApi::NOT_CONNECTED; }

int Keypad::Reset() { return api_ ? api_->ResetToFactoryDefault(kReplyTimeoutMs) : PlixoApi::NOT_CONNECTED; }

bool Keypad::Connected() const { return api_ && api_->GetConnectionState() == ConnectionState::Connected; }

int Keypad::WaitLeft(int timeoutMs) { return api_ ? api_->WaitUntilLeft(timeoutMs) : PlixoApi::NOT_CONNECTED; }

int Keypad::WaitBack(int timeoutMs) { return api_ ? api_->WaitUntilConnected(timeoutMs) : PlixoApi::NOT_CONNECTED; }

std::optional<Failure> ListAttached(std::vector<KEYPAD_ENTRY>& keypads) {
    const KEYPAD_SELECTION velnorKeypad;  // its ids are the keypad's
    const int result = PlixoApi::ListKeypads(velnorKeypad.VendorId, velnorKeypad.ProductId, &keypads);
    if (result != 0) return Failure{kNoKeypad, "cannot list keypads: the HID layer could not be set up (code " +
                                                   std::to_string(result) + ")"};
    return std::nullopt;
}

void InParallel(std::size_t count, const std::function<void(std::size_t)>& work) {
    if (count == 1) return work(0);
    std::vector<std::thread> threads;
    threads.reserve(count);
    for (std::size_t i = 0; i < count; ++i) threads.emplace_back(work, i);
    for (std::thread& thread : threads) thread.join();
}

std::vector<StatusReading> ReadStatuses(const std::vector<KEYPAD_ENTRY>& keypads) {
    std::vector<StatusReading> readings(keypads.size());
    InParallel(keypads.size(), [&](std::size_t i) {
        StatusReading& reading = readings[i];
        reading.keypad = keypads[i];
        Keypad keypad(keypads[i]);
        std::optional<Failure> failure = keypad.Open();
        DEVICE_INFO status;
        if (!failure) failure = keypad.ReadStatus(status);
        if (failure) {
            reading.failure = *failure;
        } else {
            reading.status = status;
        }
    });
    return readings;
}

}  // namespace velnorcli
