#include "Attached.h"

#include <thread>

#include "Keypad.h"

namespace velnorcli {

namespace {

// The keypads velnor lists are the ones it opens: one set-up of hidapi serves its whole run,
// from its first listing until it exits.
struct HidapiHeld {
    bool held = PlixoApi::HoldHidapi() == 0;
    ~HidapiHeld() {
        if (held) PlixoApi::ReleaseHidapi();
    }
};

}  // namespace

std::optional<Failure> ListAttached(std::vector<KEYPAD_ENTRY>& keypads) {
    static const HidapiHeld hidapi;
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
