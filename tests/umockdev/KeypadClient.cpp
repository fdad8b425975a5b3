// A small program on the installed libVelnorApi.so, run by the umockdev suite, which reads its
// standard output. Its own lines start with "client: ".
//   KeypadClient open     opens the keypad and reports what it found
//   KeypadClient unplug   works, goes on working until the keypad is unplugged, waits until it
//                         is plugged in again, works
//   KeypadClient list     lists the keypads: path, USB serial string, location
//   KeypadClient follow path|usb-serial|location VALUE
//                         opens that keypad, resets it and follows it until it is back
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <velnor/PlixoApi.h>

namespace {

// Far beyond what a loaded machine needs: each wait ends as soon as its event happens.
constexpr int kPatientMs = 30000;

PlixoApi* keypad = nullptr;  // alive until the process ends, as in the utility

void Say(const std::string& text) {
    std::printf("client: %s\n", text.c_str());
    std::fflush(stdout);
}

}  // namespace

void Describe(const KEYPAD_ENTRY& entry) {
    Say("keypad " + entry.Path + " [" + entry.UsbSerial + "] " + entry.Location);
}

int Follow(const std::string& by, const std::string& value) {
    KEYPAD_SELECTION selection;
    selection.By = by == "usb-serial" ? SELECT_BY_USB_SERIAL : by == "location" ? SELECT_BY_LOCATION : SELECT_BY_PATH;
    selection.Value = value;
    PlixoApi selected(selection);
    Say("open " + std::to_string(selected.OpenKeypad(5000)));
    KEYPAD_ENTRY entry;
    if (selected.GetOpenedKeypad(&entry) == 0) Describe(entry);
    DEVICE_INFO info;
    Say("status " + std::to_string(selected.GetDeviceStatus(&info, 2000)) + " " + info.SerialNumber);
    Say("reset " + std::to_string(selected.ResetToFactoryDefault(2000)));
    Say("left " + std::to_string(selected.WaitUntilLeft(5000)));
    Say("back " + std::to_string(selected.WaitUntilConnected(5000)));
    if (selected.GetOpenedKeypad(&entry) == 0) Describe(entry);
    Say("status " + std::to_string(selected.GetDeviceStatus(&info, 2000)) + " " + info.SerialNumber);
    return 0;
}

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "list") {
        std::vector<KEYPAD_ENTRY> keypads;
        Say("list " + std::to_string(PlixoApi::ListKeypads(8263, 2495, &keypads)));
        for (const KEYPAD_ENTRY& entry : keypads) Describe(entry);
        return 0;
    }
    if (mode == "follow" && argc == 4) return Follow(argv[2], argv[3]);
    keypad = new PlixoApi();
    const bool opened = keypad->InitialiseBrellUSBDevice(8263, 2495);
    Say("open " + std::to_string(opened ? 1 : 0));
    if (mode == "open") {
        Say("find " + std::to_string(keypad->findUSBDevice(8263, 2495)));
        DEVICE_INFO info;
        if (opened) Say("status " + std::to_string(keypad->GetDeviceStatus(&info, kPatientMs)) + " " + info.FirmwareName);
        return 0;
    }
    if (mode == "unplug" && opened) {
        Say("set " + std::to_string(keypad->SetLedLevel(3, kPatientMs)));
        Say("ready");
        // Once unplugged, a write fails (its call times out) and the worker lets the keypad go at
        // its next idle wait, which no further call may take from it.
        const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatientMs);
        bool lost = false;
        while (!lost && std::chrono::steady_clock::now() < limit) {
            if (keypad->SetLedLevel(4, 100) == 0) continue;
            for (int idle = 0; idle < 1000 && !(lost = keypad->RetrieveByteFromBuffer() == -2); idle += 5) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        Say(lost ? "lost" : "still connected");
        Say(keypad->WaitUntilConnected(kPatientMs) == 0 ? "back" : "not back");
        Say("set " + std::to_string(keypad->SetLedLevel(5, kPatientMs)));
        return 0;
    }
    return 2;
}
