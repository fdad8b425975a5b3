// Tests on the simulated bus, emptied before each test. KeypadTest adds a keypad (firmware V6.1,
// serial 12345678, jack state 0xFF) and opens it with the object under test.
#ifndef VELNOR_TESTS_KEYPADTEST_H
#define VELNOR_TESTS_KEYPADTEST_H

#include <gtest/gtest.h>

#include "velnor/PlixoApi.h"
#include "velnor_sim/SimControl.h"

class BusTest : public testing::Test {
protected:
    void SetUp() override { velnorsim::RemoveAllDevices(); }
};

class KeypadTest : public BusTest {
protected:
    void SetUp() override {
        BusTest::SetUp();
        velnorsim::DeviceSetup setup;
        setup.settings.firmwareName = "V6.1";
        setup.settings.serialNumber = "12345678";
        setup.settings.jackStatus = 0xFF;  // read as 255: widened without sign
        keypad = velnorsim::AddDevice(setup);
        ASSERT_TRUE(api.InitialiseBrellUSBDevice(8263, 2495));
    }

    velnorsim::DeviceId keypad = 0;
    PlixoApi api;
};

#endif
