// A small program on the installed-style library, run by the tests as a whole process:
//   Probe alive connected|absent   opens the keypad and ends with the object alive
//   Probe thread-fails TEXT        expects the worker thread not to start (run it with
//                                  NoThreads preloaded) and the manufacturer and product texts
//                                  to be TEXT
#include <cstdio>
#include <cstring>

#include "support/PlixoApiTestPeer.h"
#include "velnor/PlixoApi.h"

namespace {
// Reachable at exit: a program that ends with its object alive leaks nothing.
PlixoApi* keypad = nullptr;
}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "alive") == 0) {
        keypad = new PlixoApi();
        const bool connected = keypad->InitialiseBrellUSBDevice(8263, 2495);
        return connected == (std::strcmp(argv[2], "connected") == 0) ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "thread-fails") == 0) {
        auto* api = new PlixoApi();
        const bool connected = api->InitialiseBrellUSBDevice(8263, 2495);
        const int error = api->GetErrorCode();
        const int key = api->RetrieveByteFromBuffer();
        const std::string manufacturer = PlixoApiTestPeer::Manufacturer(*api);
        const std::string product = PlixoApiTestPeer::Product(*api);
        delete api;
        std::printf("\nresult %d error %d key %d texts %s/%s\n", connected ? 1 : 0, error, key,
                    manufacturer.c_str(), product.c_str());
        return !connected && error == PlixoApi::UNKNOWN_ERROR && key == -2 && manufacturer == argv[2] &&
                       product == argv[2]
                   ? 0
                   : 1;
    }
    std::fprintf(stderr, "usage: Probe alive connected|absent | Probe thread-fails TEXT\n");
    return 2;
}
