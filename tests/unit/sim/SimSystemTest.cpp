#include <gtest/gtest.h>

#include "sim/SimPlatform.h"

namespace kx::sim {
namespace {

TEST(SimSystem, SystemTimeToFileTimeRefusesWhatTheEpochCannotHold) {
    SimPlatform sim;
    struct Case {
        std::uint16_t year;
        bool converts;
    };
    for (const Case& c : {Case{1600, false}, Case{1601, true}, Case{2022, true}, Case{30827, true},
                          Case{30828, false}, Case{65535, false}}) {
        SystemTime t;
        t.wYear = c.year;
        t.wMonth = 1;
        t.wDay = 1;
        std::int64_t fileTime = -1;
        EXPECT_EQ(sim.system.SystemTimeToFileTime(t, &fileTime), c.converts) << c.year;
        if (c.year == 1601) {
            EXPECT_EQ(fileTime, 0);
        }
    }
}

}  // namespace
}  // namespace kx::sim
