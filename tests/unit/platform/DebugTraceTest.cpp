#include <gtest/gtest.h>

#include "sim/SimPlatform.h"

namespace kx {
namespace {

std::string Narrow(const Text& text) { return std::string(text.begin(), text.end()); }

TEST(DebugTrace, FirstFailureOfASourceIsWrittenAtOnceAsOneLine) {
    sim::SimPlatform sim;
    sim.api().trace.Line("tick", "abandoned: the settings key could not be read");
    ASSERT_EQ(sim.world.debugLines.size(), 1u);
    EXPECT_EQ(Narrow(sim.world.debugLines[0]), "KestrixTray: tick: abandoned: the settings key could not be read\n");
}

TEST(DebugTrace, AFailureRepeatedEverySecondWritesOneLineAMinuteAndCountsTheRest) {
    sim::SimPlatform sim;
    for (int second = 0; second < 150; ++second) {
        sim.api().trace.Line("tick", "abandoned");
        sim.world.tickCountMs += 1000;
    }
    // At 0 s, 60 s and 120 s; the later lines say how many were held back.
    ASSERT_EQ(sim.world.debugLines.size(), 3u);
    EXPECT_EQ(Narrow(sim.world.debugLines[1]), "KestrixTray: tick: abandoned (59 more like it held back)\n");
    EXPECT_EQ(Narrow(sim.world.debugLines[2]), "KestrixTray: tick: abandoned (59 more like it held back)\n");
}

TEST(DebugTrace, SourcesAreLimitedEachOnItsOwnAndEventsAlwaysGoOut) {
    sim::SimPlatform sim;
    DebugTrace& trace = sim.api().trace;
    trace.Line("settings.write", "refused");
    trace.Line("update", "no answer");
    trace.Line("settings.write", "refused");
    trace.Event("ideal", "processor 3, 12 threads");
    trace.Event("ideal", "processor 3, 12 threads");
    ASSERT_EQ(sim.world.debugLines.size(), 4u);
    EXPECT_EQ(Narrow(sim.world.debugLines[1]), "KestrixTray: update: no answer\n");
    EXPECT_EQ(Narrow(sim.world.debugLines[3]), "KestrixTray: ideal: processor 3, 12 threads\n");
}

TEST(DebugTrace, AnotherFailureOfTheSameSourceIsWrittenAtOnceAndLimitedOnItsOwn) {
    sim::SimPlatform sim;
    DebugTrace& trace = sim.api().trace;
    for (int second = 0; second < 60; ++second) {
        trace.Line("tick", "abandoned in the update notice stage: UpdatedDate is no whole number of seconds");
        if (second == 5) trace.Line("tick", "abandoned in the acceleration stage: the process cannot be opened");
        if (second == 6) trace.Line("tick", "abandoned in the acceleration stage: the process cannot be opened");
        sim.world.tickCountMs += 1000;
    }
    ASSERT_EQ(sim.world.debugLines.size(), 2u);
    EXPECT_EQ(Narrow(sim.world.debugLines[1]),
              "KestrixTray: tick: abandoned in the acceleration stage: the process cannot be opened\n");
    sim.world.tickCountMs += 60000;
    trace.Line("tick", "abandoned in the acceleration stage: the process cannot be opened");
    ASSERT_EQ(sim.world.debugLines.size(), 3u);
    EXPECT_EQ(Narrow(sim.world.debugLines[2]),
              "KestrixTray: tick: abandoned in the acceleration stage: the process cannot be opened "
              "(1 more like it held back)\n");
}

TEST(DebugTrace, ManyDistinctFailuresStayBounded) {
    sim::SimPlatform sim;
    DebugTrace& trace = sim.api().trace;
    for (int i = 0; i < 1000; ++i) {
        sim.world.tickCountMs += 1;
        trace.Line("tick", "failure " + std::to_string(i));
    }
    EXPECT_EQ(sim.world.debugLines.size(), 1000u);
    // An early failure was pushed out, so it is written again at once; a recent one is still held back.
    trace.Line("tick", "failure 0");
    trace.Line("tick", "failure 999");
    EXPECT_EQ(sim.world.debugLines.size(), 1001u);
}

TEST(DebugTrace, ManySourcesStayBounded) {
    sim::SimPlatform sim;
    for (int i = 0; i < 1000; ++i) sim.api().trace.Line("source" + std::to_string(i), "x");
    EXPECT_EQ(sim.world.debugLines.size(), 1000u);
    // An early source was pushed out, so it is written again at once.
    sim.api().trace.Line("source0", "x");
    EXPECT_EQ(sim.world.debugLines.size(), 1001u);
}

}  // namespace
}  // namespace kx
