// A small program on the installed libVelnorApi.so, run by the umockdev suite, which reads its
// standard output. Its own lines start with "client: ".
//   KeypadClient unplug   works, goes on working until the keypad is unplugged, waits until it
//                         is plugged in again, works
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

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    keypad = new PlixoApi();
    const bool opened = keypad->InitialiseBrellUSBDevice(8263, 2495);
    Say("open " + std::to_string(opened ? 1 : 0));
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
