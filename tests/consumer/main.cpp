// Allocates a PlixoApi, asks for a text, and uses hidapi through the library's link interface.
#include <velnor/PlixoApi.h>
#include <velnor/VelnorHid.h>

#include <cstdio>
#include <cstring>

int main() {
    auto* keypad = new PlixoApi();
    const bool ok = std::strcmp(keypad->GetErrorText(0), "Success") == 0;
    std::printf("%s, hidapi %s\n", keypad->GetErrorText(0), hid_version_str());
    delete keypad;
    return ok ? 0 : 1;
}
