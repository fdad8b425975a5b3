// A test with a simulated keypad (firmware V6.1, serial 12345678, jack state 1) on a bus of its
// own, opened by the object under test.
#ifndef VELNOR_TESTS_CONNECTEDKEYPADTEST_H
#define VELNOR_TESTS_CONNECTEDKEYPADTEST_H

#include <gtest/gtest.h>

#include "velnor/PlixoApi.h"
#include "velnor_sim/SimControl.h"

class ConnectedKeypadTest : public testing::Test {
protected:
    void SetUp() override {
        velnorsim::RemoveAllDevices();
        velnorsim::DeviceSetup setup;
        setup.settings.firmwareName = "V6.1";
        setup.settings.serialNumber = "12345678";
        setup.settings.jackStatus = 1;
        keypad = velnorsim::AddDevice(setup);
        ASSERT_TRUE(api.InitialiseBrellUSBDevice(8263, 2495));
    }

    velnorsim::DeviceId keypad = 0;
    PlixoApi api;
};

#endif
