// The shipped library against the real hidapi of this machine, where no keypad is attached.
#include <gtest/gtest.h>
#include <hidapi.h>

#include "support/TestSupport.h"
#include "velnor/PlixoApi.h"

using namespace velnortest;

namespace {

class RealHidapiTest : public testing::Test {
protected:
    void SetUp() override {
        hid_device_info* list = hid_enumerate(0, 0);
        for (const hid_device_info* entry = list; entry != nullptr; entry = entry->next) {
            ++devices;
            keypad |= entry->vendor_id == 0x2047 && entry->product_id == 0x09BF && entry->interface_number == 1;
        }
        hid_free_enumeration(list);
        if (keypad) GTEST_SKIP() << "a real keypad is attached";
    }
    std::size_t devices = 0;
    bool keypad = false;
};

TEST_F(RealHidapiTest, WithoutAKeypadInitialiseFailsAndTheObjectGoesCleanly) {
    StdoutCapture capture;
    auto api = std::make_unique<PlixoApi>();
    EXPECT_FALSE(api->InitialiseBrellUSBDevice(8263, 2495));
    EXPECT_EQ(api->RetrieveByteFromBuffer(), -2);
    api.reset();
    // The worker's attempts go on until the destructor has joined it; its first line may come
    // between the two lines of an attempt.
    std::string output = capture.Take();
    const std::size_t dispose = output.find("Dispose \r\n");
    ASSERT_NE(dispose, std::string::npos) << Visible(output);
    output.erase(dispose, 10);
    const std::string opening =
        "called constructer 1\r\nvid 8263 pid 2495\r\nvid 2047 pid 9bf \r\nmanufacture none\r\nNot connected\r\n";
    const std::string closing = "Dispose 1\r\nDispose 2\r\nDispose 3\r\n";
    ASSERT_TRUE(output.starts_with(opening) && output.ends_with(closing)) << Visible(output);
    EXPECT_TRUE(IsRepetitionOf(output.substr(opening.size(), output.size() - opening.size() - closing.size()),
                               "vid 2047 pid 9bf \r\nmanufacture none\r\n"))
        << Visible(output);
}

TEST_F(RealHidapiTest, FindUsbDevicePrintsOneLinePerAttachedDevice) {
    PlixoApi api;
    StdoutCapture capture;
    EXPECT_EQ(api.findUSBDevice(8263, 2495), 0);
    const std::string output = capture.Take();
    std::size_t lines = 0;
    for (std::size_t at = output.find("USB Device: VID "); at != std::string::npos; at = output.find("USB Device: VID ", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, devices) << Visible(output);
}

}  // namespace
