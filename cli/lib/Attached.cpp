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

Result<std::vector<KEYPAD_ENTRY>> ListAttached() {
    static const HidapiHeld hidapi;
    const KEYPAD_SELECTION velnorKeypad;  // its ids are the keypad's
    std::vector<KEYPAD_ENTRY> keypads;
    const int result = PlixoApi::ListKeypads(velnorKeypad.VendorId, velnorKeypad.ProductId, &keypads);
    if (result != 0) {
        return Failure{kNoKeypad, "cannot list keypads: the HID layer could not be set up (code " + std::to_string(result) + ")",
                       kFindOutWhy};
    }
    return keypads;
}

Result<std::vector<KEYPAD_ENTRY>> SelectKeypads(const Selector& selector) {
    auto attached = ListAttached();
    if (!attached) return attached.failure();
    std::vector<SerialReading> serials;
    if (selector.by == SelectBy::Serial) {
        for (const StatusReading& reading : ReadStatuses(*attached)) {
            serials.push_back(reading.status ? SerialReading{reading.status->SerialNumber, {}}
                                             : SerialReading{std::nullopt, reading.failure});
        }
    }
    const auto chosen = Choose(*attached, selector, serials);
    if (!chosen) return chosen.failure();
    std::vector<KEYPAD_ENTRY> keypads;
    for (std::size_t index : *chosen) keypads.push_back((*attached)[index]);
    return keypads;
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
        const Done opened = keypad.Open();
        const Result<DEVICE_INFO> status = opened ? keypad.ReadStatus() : Result<DEVICE_INFO>(opened.failure());
        if (status) {
            reading.status = *status;
        } else {
            reading.failure = status.failure();
        }
    });
    return readings;
}

}  // namespace velnorcli
