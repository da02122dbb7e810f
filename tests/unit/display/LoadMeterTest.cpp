#include <gtest/gtest.h>

#include <stdexcept>

#include "SystemReadings.h"
#include "display/LoadMeter.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::SimPlatform;

using namespace testing_support;

class LoadMeterTest : public ::testing::Test {
protected:
    void SetUp() override { readings.Install(sim.world); }
    SimPlatform sim;
    SystemReadings readings;
    LoadMeter meter{sim.system, sim.libraries};
};

TEST_F(LoadMeterTest, FirstCallStoresItsReadingAndTheNextMeasuresTheInterval) {
    EXPECT_EQ(meter.GetSystemProcessorLoad(), 0.0);
    EXPECT_EQ(meter.State().PreviousIdleTime, 1000 * kSecond);
    EXPECT_EQ(meter.State().PreviousSystemTime, kStart);

    readings.Advance(kSecond, kSecond);  // four processors, one processor-second idle: 75 % busy
    EXPECT_EQ(meter.GetSystemProcessorLoad(), 75.5);
    EXPECT_EQ(meter.State().PreviousSystemTime, kStart + kSecond);
    EXPECT_EQ(sim.world.handles.OpenCount(), 1u) << "only ntdll, kept for the run";
}

TEST_F(LoadMeterTest, IntervalsGiveTheHalfPointedClampedLoad) {
    struct Interval {
        const char* what;
        std::uint8_t processors;
        std::int64_t dT;
        std::int64_t dI;
        double load;
    };
    const Interval intervals[] = {
        {"fully idle", 4, kSecond, 4 * kSecond, 0.5},
        {"fully busy", 4, kSecond, 0, 100.0},
        {"half busy on one", 1, kSecond, kSecond / 2, 50.5},
        {"idle beyond the elapsed time", 2, kSecond, 3 * kSecond, 0.0},
        {"clock set back", 4, -kSecond, kSecond, 100.0},
        {"idle time set back", 4, kSecond, -kSecond, 100.0},
    };
    for (const Interval& interval : intervals) {
        SCOPED_TRACE(interval.what);
        SimPlatform fresh;
        SystemReadings r;
        r.processors = interval.processors;
        r.Install(fresh.world);
        LoadMeter m(fresh.system, fresh.libraries);
        ASSERT_EQ(m.GetSystemProcessorLoad(), 0.0);
        r.Advance(interval.dT, interval.dI);
        EXPECT_EQ(m.GetSystemProcessorLoad(), interval.load);
        // Every measured interval becomes the start of the next.
        EXPECT_EQ(m.State().PreviousSystemTime, r.systemTime);
        EXPECT_EQ(m.State().PreviousIdleTime, r.idleTime);
    }
}

TEST_F(LoadMeterTest, SameSystemTimeGivesZeroAndKeepsTheEarlierReading) {
    meter.GetSystemProcessorLoad();
    readings.Advance(0, kSecond);
    EXPECT_EQ(meter.GetSystemProcessorLoad(), 0.0);
    EXPECT_EQ(meter.State().PreviousIdleTime, 1000 * kSecond);

    // The third call measures from the first: 2 s, 4 processors, 1 s + 3 s idle.
    readings.Advance(2 * kSecond, 3 * kSecond);
    EXPECT_EQ(meter.GetSystemProcessorLoad(), 50.5);
}

TEST_F(LoadMeterTest, NoProcessorsReportedGivesZeroAndKeepsTheReading) {
    meter.GetSystemProcessorLoad();
    readings.processors = 0;
    readings.Advance(kSecond, kSecond);
    EXPECT_EQ(meter.GetSystemProcessorLoad(), 0.0);
    EXPECT_EQ(meter.State().PreviousSystemTime, kStart);
}

TEST_F(LoadMeterTest, FailedQueryEndsTheCallAndTheNextGoodOneCoversBothIntervals) {
    struct Failing {
        std::uint32_t infoClass;
        std::size_t queriesMade;  // the later queries of the call are not made
    };
    for (const Failing failing : {Failing{w32::kSystemBasicInformation, 1}, Failing{w32::kSystemTimeOfDayInformation, 2},
                                  Failing{w32::kSystemPerformanceInformation, 3}}) {
        SCOPED_TRACE(failing.infoClass);
        SimPlatform fresh;
        SystemReadings r;
        r.Install(fresh.world);
        LoadMeter m(fresh.system, fresh.libraries);
        m.GetSystemProcessorLoad();

        r.Advance(kSecond, 4 * kSecond);  // idle
        r.failing = {failing.infoClass};
        fresh.world.systemInformationCalls.clear();
        EXPECT_EQ(m.GetSystemProcessorLoad(), 0.0);
        EXPECT_EQ(fresh.world.systemInformationCalls.size(), failing.queriesMade);
        EXPECT_EQ(m.State().PreviousSystemTime, kStart);

        r.Advance(kSecond, 0);  // busy
        r.failing.clear();
        EXPECT_EQ(m.GetSystemProcessorLoad(), 50.5);  // over both seconds
        EXPECT_EQ(fresh.world.handles.OpenCount(), 1u) << "only ntdll, kept for the run";
    }
}

TEST_F(LoadMeterTest, PerformanceRecordLengthFollowsTheWindowsRelease) {
    struct Release {
        std::uint32_t major;
        std::uint32_t minor;
        std::uint8_t productType;
        std::uint32_t length;
    };
    // Index 3 (Vista), 4 (Server 2008), -1 (unknown), 5 (Windows 7), 8 (Windows 10).
    const Release releases[] = {{6, 0, 1, 312}, {6, 1, 3, 312}, {7, 0, 1, 312}, {6, 1, 1, 1000}, {10, 0, 1, 1000}};
    for (const Release& release : releases) {
        SCOPED_TRACE(testing::Message() << release.major << "." << release.minor << " type "
                                        << int{release.productType});
        sim.world.SetVersion(release.major, release.minor, release.productType);
        sim.world.systemInformationCalls.clear();
        meter.GetSystemProcessorLoad();
        const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected = {
            {w32::kSystemBasicInformation, LoadMeter::kBasicLength}, {w32::kSystemTimeOfDayInformation, 32},
            {w32::kSystemPerformanceInformation, release.length}};
        EXPECT_EQ(sim.world.systemInformationCalls, expected);
    }
}

TEST_F(LoadMeterTest, RefusedPerformanceLengthCountsAsFailedQuery) {
    meter.GetSystemProcessorLoad();
    sim.world.SetVersion(6, 1, 3);  // the query goes out with 312 bytes
    readings.performanceLength = 1000;
    readings.Advance(kSecond, 0);
    EXPECT_EQ(meter.GetSystemProcessorLoad(), 0.0);
    EXPECT_EQ(meter.State().PreviousSystemTime, kStart);
}

TEST_F(LoadMeterTest, QueryFindsTheEntryOnceAndKeepsNtdllForTheRun) {
    std::uint8_t basic[LoadMeter::kBasicLength] = {};
    EXPECT_EQ(meter.QuerySystemInformation(w32::kSystemBasicInformation, basic, LoadMeter::kBasicLength), 0);
    EXPECT_EQ(meter.QuerySystemInformation(w32::kSystemBasicInformation, basic, LoadMeter::kBasicLength), 0);
    EXPECT_EQ(sim.world.libraryLoads, (std::vector<Text>{u"ntdll.dll"}));
    EXPECT_EQ(sim.world.handles.OpenCount(sim::HandleKind::Library), 1u);

    // Without the entry or the library, every call fails and asks again, and
    // nothing is left loaded.
    sim::SimPlatform bare;
    SystemReadings bareReadings;
    bareReadings.Install(bare.world);
    LoadMeter m(bare.system, bare.libraries);
    bare.world.libraries[u"NTDLL.DLL"].entries.clear();
    EXPECT_NE(m.QuerySystemInformation(w32::kSystemBasicInformation, basic, LoadMeter::kBasicLength), 0);
    bare.world.libraries.erase(u"NTDLL.DLL");
    EXPECT_NE(m.QuerySystemInformation(w32::kSystemBasicInformation, basic, LoadMeter::kBasicLength), 0);
    EXPECT_EQ(m.GetSystemProcessorLoad(), 0.0);
    EXPECT_EQ(m.State().PreviousIdleTime, 0);
    EXPECT_EQ(bare.world.handles.OpenCount(), 0u);
    EXPECT_EQ(bare.world.handles.BadCloses(), 0u);
}

TEST_F(LoadMeterTest, PlatformThatRaisesGivesZero) {
    sim.world.systemInformation = [](std::uint32_t, void*, std::uint32_t) -> long {
        throw std::runtime_error("access violation");
    };
    std::uint8_t basic[LoadMeter::kBasicLength] = {};
    EXPECT_NE(meter.QuerySystemInformation(w32::kSystemBasicInformation, basic, LoadMeter::kBasicLength), 0);
    EXPECT_EQ(meter.GetSystemProcessorLoad(), 0.0);
    EXPECT_EQ(sim.world.handles.OpenCount(), 1u) << "only ntdll, kept for the run";
}

}  // namespace
}  // namespace kx
