#include "Keypad.h"

namespace velnorcli {

Keypad::Keypad(KEYPAD_ENTRY entry) : entry_(std::move(entry)) {}
Keypad::~Keypad() = default;

Done Keypad::Open(int timeoutMs) {
    api_ = std::make_unique<PlixoApi>(entry_);  // opened from the listing, not listed again
    const int result = api_->OpenKeypad(timeoutMs);
    if (result != 0) return FailureOf(result, entry_, "opening it");
    return {};
}

Result<DEVICE_INFO> Keypad::ReadStatus(int timeoutMs) {
    if (!api_) return FailureOf(PlixoApi::NOT_CONNECTED, entry_, "reading the status");
    DEVICE_INFO status;
    const int result = api_->GetDeviceStatus(&status, timeoutMs);
    if (result != 0) return FailureOf(result, entry_, "reading the status");
    return status;
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

}  // namespace velnorcli
