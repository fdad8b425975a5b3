// The shipped library against the real hidapi of this machine, where no keypad is attached.
#include <gtest/gtest.h>
#include <hidapi.h>

#include "support/TestSupport.h"
#include "velnor/PlixoApi.h"

using velnortest::IsRepetitionOf;
using velnortest::StdoutCapture;
using velnortest::Visible;

namespace {

struct Attached {
    int devices = 0;
    bool keypad = false;
};

Attached Survey() {
    Attached attached;
    hid_device_info* list = hid_enumerate(0, 0);
    for (const hid_device_info* entry = list; entry != nullptr; entry = entry->next) {
        ++attached.devices;
        attached.keypad |= entry->vendor_id == 0x2047 && entry->product_id == 0x09BF && entry->interface_number == 1;
    }
    hid_free_enumeration(list);
    return attached;
}

TEST(RealHidapiTest, WithoutAKeypadInitialiseFailsAndTheObjectGoesCleanly) {
    if (Survey().keypad) GTEST_SKIP() << "a real keypad is attached";
    StdoutCapture capture;
    auto api = std::make_unique<PlixoApi>();
    EXPECT_FALSE(api->InitialiseBrellUSBDevice(8263, 2495));
    EXPECT_EQ(api->RetrieveByteFromBuffer(), -2);
    api.reset();
    const std::string output = capture.Take();
    const std::string opening =
        "called constructer 1\r\nvid 8263 pid 2495\r\nvid 2047 pid 9bf \r\nmanufacture none\r\nNot connected\r\n";
    ASSERT_EQ(Visible(output.substr(0, opening.size())), Visible(opening));
    // The worker's attempts go on until the destructor has joined it.
    const std::string retry = "vid 2047 pid 9bf \r\nmanufacture none\r\n";
    const std::string closing = "Dispose 1\r\nDispose 2\r\nDispose 3\r\n";
    const std::size_t disposeAt = output.find("Dispose \r\n");
    ASSERT_NE(disposeAt, std::string::npos);
    ASSERT_GE(output.size(), disposeAt + 10 + closing.size());
    EXPECT_EQ(Visible(output.substr(output.size() - closing.size())), Visible(closing));
    EXPECT_TRUE(IsRepetitionOf(output.substr(opening.size(), disposeAt - opening.size()), retry));
    EXPECT_TRUE(IsRepetitionOf(output.substr(disposeAt + 10, output.size() - closing.size() - disposeAt - 10), retry));
}

TEST(RealHidapiTest, FindUsbDevicePrintsOneLinePerAttachedDevice) {
    const Attached attached = Survey();
    if (attached.keypad) GTEST_SKIP() << "a real keypad is attached";
    PlixoApi api;
    StdoutCapture capture;
    EXPECT_EQ(api.findUSBDevice(8263, 2495), 0);
    const std::string output = capture.Take();
    std::size_t lines = 0;
    for (std::size_t at = output.find("USB Device: VID "); at != std::string::npos;
         at = output.find("USB Device: VID ", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, static_cast<std::size_t>(attached.devices)) << Visible(output);
}

}  // namespace
