#include <gtest/gtest.h>

#include "PerfBlockBuilder.h"
#include "app/AccelerationStage.h"
#include "platform/Failure.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::SimPlatform;

const Text kSettings = u"HKLM\\Software\\VELMOR\\Kestrix";

// Program A (two threads), program B (two threads) and a print dialog that
// the built-in rows block; processor 2 has been idle longest.
struct Rig {
    Rig() {
        sim.world.AddProcess(100, u"\\Device\\HarddiskVolume1\\Games\\game.exe");
        sim.world.AddProcess(200, u"\\Device\\HarddiskVolume1\\Apps\\editor.exe");
        sim.world.AddProcess(300, u"\\Device\\HarddiskVolume1\\Apps\\office.exe");
        sim.world.processes[200].priorityClass = w32::kBelowNormalPriorityClass;
        a = sim.world.AddWindow(u"Game A", u"GameA", 100, 1001);
        sim.world.AddThread(1002, 100);
        b = sim.world.AddWindow(u"Editor B", u"EditorB", 200, 2001);
        sim.world.AddThread(2002, 200);
        printDialog = sim.world.AddWindow(u"Print", u"#32770", 300, 3001);
        for (auto& entry : sim.world.threads) entry.second.idealProcessor = 99;
        sim.world.performanceData = test::ProcessorBlock({1'000'000'000, 2'000'000'000, 3'000'000'000, 6'000'000'000},
                                                         SystemTime{2022, 6, 3, 1, 12, 0, 0, 0});
        blockList.LoadBlockList(u"C:\\ProgramData\\VELMOR\\Kestrix\\Kestrix.csv");
        startHandles = sim.world.handles.OpenCount();
    }
    void Tick(Hwnd focus, int times = 1) {
        sim.world.foreground = focus;
        for (int i = 0; i < times; ++i) stage.Run();
    }
    Text Handle() const { return settings.RegReadString(u"Handle", u"(none)"); }
    std::uint32_t ClassOf(std::uint32_t pid) { return sim.world.processes[pid].priorityClass; }
    int Sets(std::uint32_t thread) { return sim.world.threads[thread].idealProcessorSets; }
    std::uint32_t Ideal(std::uint32_t thread) { return sim.world.threads[thread].idealProcessor; }

    SimPlatform sim;
    InspectionApi inspection{sim.windows, sim.processes, sim.system, sim.libraries};
    SettingsStore settings{sim.registry};
    BlockList blockList{sim.system, sim.files};
    PriorityControl priority{sim.windows, sim.processes};
    IdealProcessorApi idealApi{sim.registry, sim.system, sim.windows, sim.processes, sim.libraries};
    ProcessorSampler sampler{idealApi};
    AccelerationStage stage{inspection, settings, blockList, priority, sampler};
    Hwnd a = 0, b = 0, printDialog = 0;
    std::size_t startHandles = 0;
};

TEST(AccelerationStage, FocusMovingFromAToBRestoresARaisesBAndMovesBsThreads) {
    Rig r;
    r.Tick(r.a);
    EXPECT_EQ(r.ClassOf(100), w32::kHighPriorityClass);
    EXPECT_EQ(r.Handle(), HandleText(r.a));
    EXPECT_EQ(r.Ideal(1001), 2u);
    EXPECT_EQ(r.Ideal(1002), 2u);
    r.Tick(r.a, 5);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 5);

    // Six seconds on, processor 1 has been idle most since the last sample.
    r.sim.world.performanceData = test::ProcessorBlock(
        {1'001'000'000, 2'009'000'000, 3'001'000'000, 6'011'000'000}, SystemTime{2022, 6, 3, 1, 12, 0, 6, 0});
    r.Tick(r.b);
    EXPECT_EQ(r.ClassOf(100), w32::kNormalPriorityClass);
    EXPECT_EQ(r.ClassOf(200), w32::kHighPriorityClass);
    EXPECT_EQ(r.Handle(), HandleText(r.b));
    EXPECT_EQ(r.Ideal(2001), 1u);
    EXPECT_EQ(r.Ideal(2002), 1u);
    EXPECT_EQ(r.Ideal(1002), 2u);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 0);
    EXPECT_EQ(r.sim.world.handles.OpenCount(), r.startHandles);
    EXPECT_EQ(r.sim.world.handles.BadCloses(), 0u);
}

TEST(AccelerationStage, TheThreadsOfAFocusedWindowMoveAgainEvery120Ticks) {
    Rig r;
    r.Tick(r.b);
    ASSERT_EQ(r.Sets(2002), 1);
    r.Tick(r.b, 119);
    EXPECT_EQ(r.Sets(2002), 1);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 119);
    r.Tick(r.b);
    EXPECT_EQ(r.Sets(2002), 2);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 0);
    EXPECT_EQ(r.ClassOf(200), w32::kHighPriorityClass);
    EXPECT_EQ(r.sim.world.handles.OpenCount(), r.startHandles);
}

TEST(AccelerationStage, ABlockedWindowIsNeverRaisedOrRecordedAndTheRecordedOneKeepsItsRefresh) {
    Rig r;
    r.Tick(r.a);
    r.Tick(r.printDialog, 119);
    EXPECT_EQ(r.ClassOf(300), w32::kNormalPriorityClass);
    EXPECT_EQ(r.ClassOf(100), w32::kHighPriorityClass);
    EXPECT_EQ(r.Handle(), HandleText(r.a));
    EXPECT_EQ(r.Sets(1002), 1);
    r.Tick(r.printDialog);
    EXPECT_EQ(r.Sets(1002), 2);
    EXPECT_EQ(r.Sets(3001), 0);
    // Back to the recorded window: no new acceleration.
    r.Tick(r.a);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 1);
    EXPECT_EQ(r.Sets(1002), 2);
}

TEST(AccelerationStage, WithProcessorIdealOffNoThreadMovesAndTheCounterStillCycles) {
    Rig r;
    r.sim.world.SetDword(kSettings, u"ProcessorIdeal", 0);
    r.Tick(r.a);
    EXPECT_EQ(r.ClassOf(100), w32::kHighPriorityClass);
    r.Tick(r.a, 120);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 0);
    r.Tick(r.a, 7);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 7);
    EXPECT_EQ(r.Sets(1001) + r.Sets(1002), 0);
    EXPECT_TRUE(r.sim.world.performanceQuerySizes.empty());
}

TEST(AccelerationStage, ProcessorPriorityZeroSetsNormalAndRestoresThePrevious) {
    Rig r;
    r.sim.world.SetDword(kSettings, u"ProcessorPriority", 0);
    r.sim.world.processes[100].priorityClass = w32::kIdlePriorityClass;
    r.Tick(r.a);
    EXPECT_EQ(r.ClassOf(100), w32::kNormalPriorityClass);
    r.Tick(r.b);
    EXPECT_EQ(r.ClassOf(100), w32::kIdlePriorityClass);
    EXPECT_EQ(r.ClassOf(200), w32::kNormalPriorityClass);
}

TEST(AccelerationStage, AHandleThatCannotBeWrittenMakesEveryTickANewWindow) {
    Rig r;
    r.sim.world.SetString(kSettings, u"Handle", HandleText(r.b));
    r.sim.world.Key(kSettings).denyWrite = true;
    r.Tick(r.a);
    EXPECT_EQ(r.ClassOf(100), w32::kHighPriorityClass);
    EXPECT_EQ(r.Handle(), HandleText(r.b));
    // The assignment serves the window Handle still names.
    EXPECT_EQ(r.Sets(2002), 1);
    EXPECT_EQ(r.Sets(1002), 0);
    const std::size_t opens = r.sim.processes.openRequests.size();
    r.Tick(r.a, 130);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 0);
    EXPECT_EQ(r.Sets(2002), 131);
    EXPECT_EQ(r.Sets(1002), 0);
    // Repeats of the same window are ignored by the priority control: the
    // only processes opened are the snapshot's image-path queries.
    EXPECT_EQ(r.sim.processes.openRequests.size(), opens + 130);
    EXPECT_EQ(r.sim.world.handles.OpenCount(), r.startHandles);
}

TEST(AccelerationStage, AHandleThatIsNoNumberAbandonsTheTick) {
    Rig r;
    r.sim.world.SetString(kSettings, u"Handle", u"abc");
    EXPECT_THROW(r.Tick(r.a), Failure);
    EXPECT_EQ(r.ClassOf(100), w32::kNormalPriorityClass);
    EXPECT_EQ(r.Handle(), u"abc");
    EXPECT_EQ(r.sim.world.handles.OpenCount(), r.startHandles);
    // A blocked window does not read Handle until its refresh is due.
    EXPECT_NO_THROW(r.Tick(r.printDialog, 119));
    EXPECT_THROW(r.Tick(r.printDialog), Failure);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 120);
}

TEST(AccelerationStage, HandlesAreComparedAndStoredAsUnsigned32BitValues) {
    Rig r;
    const Hwnd high = 0xFFFF0000u;
    r.sim.world.windows[high] = sim::SimWindow{u"High", u"HighClass", 100, 1001, true};
    r.sim.world.SetString(kSettings, u"Handle", u"-65536");  // the same bits read as signed
    r.Tick(high);
    EXPECT_EQ(r.Handle(), u"4294901760");
    EXPECT_EQ(r.ClassOf(100), w32::kHighPriorityClass);
    r.Tick(high);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 1);
}

TEST(AccelerationStage, NoForegroundWindowBecomesTheRecordedWindow) {
    Rig r;
    r.Tick(r.a);
    r.Tick(0);
    EXPECT_EQ(r.ClassOf(100), w32::kNormalPriorityClass);
    EXPECT_EQ(r.Handle(), u"0");
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 0);
    r.Tick(0);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 1);
}

TEST(AccelerationStage, AWindowRecordedByAnEarlierRunIsNotRaisedAgain) {
    Rig r;
    r.sim.world.SetString(kSettings, u"Handle", HandleText(r.a));
    r.Tick(r.a);
    EXPECT_EQ(r.ClassOf(100), w32::kNormalPriorityClass);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 1);
}

TEST(AccelerationStage, HandleText) {
    struct Case {
        Text text;
        bool valid;
        std::int64_t value;
    };
    const Case cases[] = {
        {u"0", true, 0},
        {u"131072", true, 131072},
        {u"-65536", true, -65536},
        {u"+42", true, 42},
        {u" 42\t", true, 42},
        {u"007", true, 7},
        {u"9223372036854775807", true, INT64_MAX},
        {u"-9223372036854775808", true, INT64_MIN},
        {u"9223372036854775808", false, 0},
        {u"-9223372036854775809", false, 0},
        {u"99999999999999999999999", false, 0},
        {u"", false, 0},
        {u"  ", false, 0},
        {u"+", false, 0},
        {u"-", false, 0},
        {u"abc", false, 0},
        {u"12a", false, 0},
        {u"1 2", false, 0},
        {u"0x10", false, 0},
        {u"$10", false, 0},
        {u"1.0", false, 0},
        {u"\uFF11", false, 0},  // a full-width digit
    };
    for (const Case& c : cases) {
        if (c.valid) {
            EXPECT_EQ(ParseHandleText(c.text), c.value) << sim::U8(c.text);
        } else {
            EXPECT_THROW(ParseHandleText(c.text), Failure) << sim::U8(c.text);
        }
    }
    EXPECT_EQ(HandleText(0), u"0");
    EXPECT_EQ(HandleText(0xFFFFFFFFu), u"4294967295");
}

}  // namespace
}  // namespace kx
