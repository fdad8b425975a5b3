// The station in-process while keypads are plugged in and replaced port after port, some pulled
// out in the middle of their restore: no serial is given twice, every outcome (an unknown one
// too) is in the record of serials, and its threads and descriptors are back where they were.
#include <gtest/gtest.h>

#include "StationSoak.h"

namespace {

#if defined(__SANITIZE_THREAD__)
constexpr int kOwnThreads = 1;  // ThreadSanitizer starts a thread of its own while the run goes on
#else
constexpr int kOwnThreads = 0;
#endif

TEST(StationSoak, PlugCyclesWithUnplugsMidRestoreGiveNoSerialTwiceAndLeaveNothingBehind) {
    struct Case {
        velnorbench::SoakOptions options;
    };
    for (const Case& c : {Case{{.ports = 6, .keypads = 30, .unplugPercent = 40, .seed = 7}},
                          Case{{.ports = 3, .keypads = 6, .unplugPercent = 50, .seed = 3, .feedback = true}}}) {
        const velnorbench::SoakOutcome soak = velnorbench::RunSoak(c.options);
        EXPECT_EQ(soak.ended, static_cast<std::size_t>(c.options.keypads)) << soak.problems;
        EXPECT_EQ(soak.givenTwice + soak.recordWrong + soak.notReported, 0u) << soak.problems;
        EXPECT_GT(soak.updated, 0u);
        EXPECT_GT(soak.unchanged + soak.unknown, 0u);  // the unplugs happened
        EXPECT_LE(soak.threadsAfter, soak.threadsBefore + kOwnThreads);
        EXPECT_EQ(soak.fdsAfter, soak.fdsBefore);
    }
}

}  // namespace
