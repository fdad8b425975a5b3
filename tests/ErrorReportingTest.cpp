// lastError, its texts, and the key byte buffer.
#include <gtest/gtest.h>

#include <thread>

#include "support/PlixoApiTestPeer.h"
#include "support/TestSupport.h"
#include "velnor/PlixoApi.h"
#include "velnor_sim/SimControl.h"

using namespace std::chrono_literals;

namespace {

class ErrorReportingTest : public testing::Test {
protected:
    void SetUp() override { velnorsim::RemoveAllDevices(); }
};

TEST_F(ErrorReportingTest, ErrorTextsAreFixed) {
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {0, "Success"},
        {-9983, "Unknown Error"},
        {-2, "No descriptive text avalable"},
        {-3, "No descriptive text avalable"},
        {-9997, "No descriptive text avalable"},
        {1, "No descriptive text avalable"},
        {INT32_MIN, "No descriptive text avalable"},
    };
    PlixoApi api;
    for (const auto& c : cases) EXPECT_STREQ(api.GetErrorText(c.code), c.text) << c.code;
    EXPECT_EQ(api.GetErrorText(-2), api.GetErrorText(-3)) << "one static text";
}

TEST_F(ErrorReportingTest, AFreshObjectHasNoErrorAndItsVersionIsSeven) {
    PlixoApi api;
    EXPECT_EQ(api.GetErrorCode(), 0);
    EXPECT_EQ(PlixoApiTestPeer::Version(api), "7.0");
}

TEST_F(ErrorReportingTest, KeyBufferIsEmptyWithResultsByConnectionState) {
    PlixoApi neverInitialised;
    EXPECT_EQ(neverInitialised.RetrieveByteFromBuffer(), -2);

    PlixoApi notConnected;
    ASSERT_FALSE(notConnected.InitialiseBrellUSBDevice(8263, 2495));
    EXPECT_EQ(notConnected.RetrieveByteFromBuffer(), -2);
    EXPECT_EQ(notConnected.GetErrorCode(), 0);

    velnorsim::AddDevice({});
    PlixoApi connected;
    ASSERT_TRUE(connected.InitialiseBrellUSBDevice(8263, 2495));
    EXPECT_EQ(connected.RetrieveByteFromBuffer(), -1);
    EXPECT_EQ(connected.GetErrorCode(), 0) << "empty-buffer results are not failures";
}

TEST_F(ErrorReportingTest, KeyBufferHeldElsewhereGivesLockTimeoutAndStaysRecorded) {
    PlixoApi api;
    std::mutex& keyBufferMutex = PlixoApiTestPeer::KeyBufferMutex(api);
    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
    std::thread holder([&] {
        std::lock_guard lock(keyBufferMutex);
        held = true;
        while (!release) std::this_thread::sleep_for(1ms);
    });
    while (!held) std::this_thread::sleep_for(1ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(api.RetrieveByteFromBuffer(), -9997);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1000ms) << "1001 tries of 1 ms";
    release = true;
    holder.join();
    EXPECT_EQ(api.GetErrorCode(), -9997);
    EXPECT_EQ(api.RetrieveByteFromBuffer(), -2);
    EXPECT_EQ(api.GetErrorCode(), -9997) << "a later success leaves the failure recorded";
}

}  // namespace
