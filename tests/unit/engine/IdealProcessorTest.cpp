#include <gtest/gtest.h>

#include <functional>

#include "PerfBlockBuilder.h"
#include "engine/IdealProcessor.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::SimPlatform;
using test::PerfLayout;
using test::ProcessorBlock;
using test::PutU32;

constexpr std::int64_t kSecond = 10'000'000;  // 100-ns units

SystemTime At(std::uint16_t second) { return SystemTime{2022, 6, 3, 1, 12, 0, second, 0}; }

// A fresh simulated Windows with a game process of three threads, another
// process, and a sampler over it.
struct Rig {
    Rig() {
        sim.world.AddProcess(100, u"\\Device\\HarddiskVolume1\\Games\\game.exe");
        sim.world.AddProcess(200, u"\\Device\\HarddiskVolume1\\Tools\\other.exe");
        window = sim.world.AddWindow(u"Game", u"GameClass", 100, 1001);
        sim.world.AddThread(1002, 100);
        sim.world.AddThread(1003, 100);
        sim.world.AddThread(2001, 200);
        for (auto& entry : sim.world.threads) entry.second.idealProcessor = 99;
        startHandles = sim.world.handles.OpenCount();
    }
    void Feed(const std::vector<std::int64_t>& values, std::uint16_t second, PerfLayout* layout = nullptr) {
        sim.world.performanceData = ProcessorBlock(values, At(second), layout);
    }
    // Two samples one second apart whose idle times differ by the deltas;
    // returns the processor SetWindowIdealProcessor gave the window's thread.
    std::uint32_t ChooseFor(const std::vector<std::int64_t>& idleDeltas) {
        std::vector<std::int64_t> values(idleDeltas.size(), 1'000'000'000);
        Feed(values, 0);
        sampler.SampleProcessorTimes();
        for (std::size_t i = 0; i < values.size(); ++i) values[i] += idleDeltas[i];
        Feed(values, 1);
        sampler.SetWindowIdealProcessor(window);
        return Ideal(1001);
    }
    std::uint32_t Ideal(std::uint32_t thread) { return sim.world.threads[thread].idealProcessor; }
    std::int64_t FileTimeOf(std::uint16_t second) {
        std::int64_t fileTime = 0;
        sim.system.SystemTimeToFileTime(At(second), &fileTime);
        return fileTime;
    }

    SimPlatform sim;
    IdealProcessorApi api{sim.registry, sim.system, sim.windows, sim.processes, sim.libraries};
    ProcessorSampler sampler{api};
    Hwnd window = 0;
    std::size_t startHandles = 0;
};

TEST(IdealProcessor, FirstSampleComparesIdleTimeSinceStartAgainstTimeSince1601) {
    Rig r;
    r.Feed({3'000'000'000, 5'000'000'000, 4'000'000'000, 12'000'000'000}, 0);
    r.sampler.SetWindowIdealProcessor(r.window);

    EXPECT_EQ(r.sampler.InstanceCount(), 4);
    EXPECT_EQ(r.sampler.PreviousValues(), std::vector<std::int64_t>(4, 0));
    EXPECT_EQ(r.sampler.CurrentValues(),
              (std::vector<std::int64_t>{3'000'000'000, 5'000'000'000, 4'000'000'000, 12'000'000'000}));
    EXPECT_EQ(r.sampler.PreviousSampleTime(), 0);
    EXPECT_EQ(r.sampler.CurrentSampleTime(), r.FileTimeOf(0));
    EXPECT_GT(r.sampler.ProcessorUsage(1), 99.99);
    EXPECT_LT(r.sampler.ProcessorUsage(1), 100.0);
    // The processor with the most idle time since start is the least used.
    EXPECT_EQ(r.Ideal(1001), 1u);
    EXPECT_EQ(r.sampler.ProcessorUsage(-1), 0.0);
    EXPECT_EQ(r.sampler.ProcessorUsage(4), 0.0);
}

TEST(IdealProcessor, ChoosesTheLeastUsedProcessorButNeverTheTotal) {
    struct Case {
        const char* name;
        std::vector<std::int64_t> idleDeltas;  // per instance over one second, total last
        std::uint32_t expected;
    };
    std::vector<std::int64_t> sixtyFour(65, kSecond / 10);
    sixtyFour[63] = kSecond / 2;
    const Case cases[] = {
        {"one processor: no comparison", {kSecond / 10, kSecond}, 0},
        {"eight processors", {1, 2, 3, 4, 5, kSecond / 2, 6, 7, kSecond}, 5},
        {"sixty-four processors, the last one least used", sixtyFour, 63},
        {"a tie goes to the lower position", {1, kSecond / 2, 1, kSecond / 2, 1}, 1},
        {"all equal", {kSecond / 4, kSecond / 4, kSecond / 4, kSecond / 4}, 0},
        {"the total is idle most but never chosen", {kSecond / 10, kSecond / 5, kSecond / 3, kSecond}, 2},
        {"a usage below zero takes part unclamped", {kSecond / 2, kSecond * 3 / 2, kSecond / 2, kSecond}, 1},
    };
    for (const Case& c : cases) {
        Rig r;
        EXPECT_EQ(r.ChooseFor(c.idleDeltas), c.expected) << c.name;
    }
}

TEST(IdealProcessor, EqualTimeStampsGiveZeroUsageAndProcessorZero) {
    Rig r;
    r.Feed({1000, 2000, 3000}, 5);
    r.sampler.SampleProcessorTimes();
    r.Feed({1000, 9'000'000, 3000}, 5);
    r.sampler.SetWindowIdealProcessor(r.window);
    EXPECT_EQ(r.sampler.ProcessorUsage(0), 0.0);
    EXPECT_EQ(r.sampler.ProcessorUsage(1), 0.0);
    EXPECT_EQ(r.Ideal(1001), 0u);
}

TEST(IdealProcessor, MovesEveryThreadOfTheWindowsProcessAndNoOther) {
    Rig r;
    EXPECT_EQ(r.ChooseFor({1, kSecond / 2, 1, kSecond}), 1u);
    EXPECT_EQ(r.Ideal(1002), 1u);
    EXPECT_EQ(r.Ideal(1003), 1u);
    EXPECT_EQ(r.Ideal(2001), 99u);
    // The window's own thread is met again in the snapshot.
    EXPECT_EQ(r.sim.world.threads[1001].idealProcessorSets, 2);
    for (std::uint32_t access : r.sim.processes.openThreadAccess) EXPECT_EQ(access, w32::kThreadSetInformation);
    EXPECT_EQ(r.sim.world.handles.OpenCount(), r.startHandles);
    EXPECT_EQ(r.sim.world.handles.BadCloses(), 0u);
}

TEST(IdealProcessor, ThreadsThatCannotBeReachedAreSkipped) {
    struct Case {
        const char* name;
        std::function<void(sim::SimWorld&)> arrange;
        std::map<std::uint32_t, std::uint32_t> expected;  // thread: ideal processor afterwards
    };
    const Case cases[] = {
        {"no thread snapshot: only the window's thread", [](sim::SimWorld& w) { w.snapshotFails = true; },
         {{1001, 1}, {1002, 99}, {1003, 99}}},
        {"a thread that cannot be opened", [](sim::SimWorld& w) { w.threads[1002].openable = false; },
         {{1001, 1}, {1002, 99}, {1003, 1}}},
        {"no OpenThread in kernel32", [](sim::SimWorld& w) { w.libraries[u"KERNEL32.DLL"].entries.clear(); },
         {{1001, 99}, {1002, 99}, {1003, 99}}},
        {"no kernel32 at all", [](sim::SimWorld& w) { w.libraries.erase(u"KERNEL32.DLL"); },
         {{1001, 99}, {1002, 99}, {1003, 99}}},
    };
    for (const Case& c : cases) {
        Rig r;
        c.arrange(r.sim.world);
        r.ChooseFor({1, kSecond / 2, kSecond});
        for (const auto& [thread, ideal] : c.expected) EXPECT_EQ(r.Ideal(thread), ideal) << c.name;
        EXPECT_EQ(r.sim.world.handles.OpenCount(), r.startHandles) << c.name;
    }
}

TEST(IdealProcessor, AClosedWindowGetsOneSampleAndNoThreadChanges) {
    Rig r;
    r.Feed({1000, 2000, 3000}, 0);
    r.sim.world.windows.erase(r.window);
    r.sampler.SetWindowIdealProcessor(r.window);
    EXPECT_EQ(r.sim.world.performanceQuerySizes.size(), 1u);
    EXPECT_EQ(r.sampler.InstanceCount(), 3);
    for (const auto& [thread, state] : r.sim.world.threads) EXPECT_EQ(state.idealProcessorSets, 0) << thread;
    EXPECT_EQ(r.sim.world.handles.OpenCount(), r.startHandles);
}

TEST(IdealProcessor, BufferGrowsBy4096UntilTheDataFitsAndKeepsThatSize) {
    Rig r;
    const std::vector<std::int64_t> values(200, 5000);  // about 9.8 KB of data
    r.Feed(values, 0);
    r.sampler.SampleProcessorTimes();
    EXPECT_EQ(r.sampler.InstanceCount(), 200);
    EXPECT_EQ(r.sampler.PerfBufferSize(), 12288u);
    r.Feed(values, 1);
    r.sampler.SampleProcessorTimes();
    EXPECT_EQ(r.sim.world.performanceQuerySizes, (std::vector<std::uint32_t>{8192, 12288, 12288}));
    EXPECT_EQ(r.sampler.CurrentSampleTime(), r.FileTimeOf(1));
}

TEST(IdealProcessor, BufferGrowthStopsAt16MiB) {
    Rig r;
    // Exactly 16 MiB still fits.
    std::vector<std::uint8_t> block = ProcessorBlock({1000, 2000, 3000}, At(0));
    block.resize(kPerfBufferCeiling, 0);
    r.sim.world.performanceData = block;
    r.sampler.SampleProcessorTimes();
    EXPECT_EQ(r.sampler.PerfBufferSize(), kPerfBufferCeiling);
    EXPECT_EQ(r.sampler.InstanceCount(), 3);

    // One byte more is not believed: the query counts as failed at once.
    block.push_back(0);
    r.sim.world.performanceData = block;
    r.sim.world.performanceQuerySizes.clear();
    r.sampler.SampleProcessorTimes();
    EXPECT_EQ(r.sampler.PerfBufferSize(), kPerfBufferCeiling);
    EXPECT_EQ(r.sim.world.performanceQuerySizes.size(), 1u);
    EXPECT_EQ(r.sampler.CurrentSampleTime(), r.FileTimeOf(0));
}

TEST(IdealProcessor, AFreshSamplerNeverGrowsPast16MiB) {
    Rig r;
    r.sim.world.performanceData.assign(kPerfBufferCeiling + 1, 0);
    r.sampler.SampleProcessorTimes();
    EXPECT_EQ(r.sampler.PerfBufferSize(), kPerfBufferCeiling);
    EXPECT_EQ(r.sim.world.performanceQuerySizes.size(), (kPerfBufferCeiling - 8192) / 4096 + 1);
    EXPECT_EQ(r.sampler.InstanceCount(), -1);
}

TEST(IdealProcessor, ALaterBlockWithMoreInstancesIsReadOnlyAsFarAsTheFirstCount) {
    Rig r;
    r.Feed({1000, 1000, 1000, 1000}, 0);
    r.sampler.SampleProcessorTimes();
    // Position 3 was the total in the first block; here it and the new
    // positions are idle all the time, yet none of them is chosen.
    r.Feed({1000 + kSecond / 4, 1000 + kSecond / 2, 1000 + kSecond / 4, 1000 + kSecond, kSecond, kSecond}, 1);
    r.sampler.SetWindowIdealProcessor(r.window);
    EXPECT_EQ(r.sampler.CurrentValues().size(), 4u);
    EXPECT_EQ(r.sampler.CurrentValues()[3], 1000 + kSecond);
    EXPECT_EQ(r.Ideal(1001), 1u);
}

TEST(IdealProcessor, BlocksThatDoNotHoldTogetherChangeNothing) {
    struct Case {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&, const PerfLayout&)> corrupt;
    };
    const std::size_t blockLengthAt = test::kInstanceDefinition;
    const Case cases[] = {
        {"cut in half", [](auto& b, const auto&) { b.resize(b.size() / 2); }},
        {"cut inside the block header", [](auto& b, const auto&) { b.resize(40); }},
        {"cut inside the last counter value", [](auto& b, const auto&) { b.resize(b.size() - 4); }},
        {"block header length past the data", [](auto& b, const auto&) { PutU32(b, 24, 0xFFFFFFF0u); }},
        {"object definition length past the data",
         [](auto& b, const PerfLayout& l) { PutU32(b, l.objectAt + 4, 0xFFFFFF00u); }},
        {"object header length past the data",
         [](auto& b, const PerfLayout& l) { PutU32(b, l.objectAt + 8, 0x7FFFFFFFu); }},
        {"counter offset past the data",
         [](auto& b, const PerfLayout& l) { PutU32(b, l.firstCounterAt + 36, 0xFFFFFFF8u); }},
        {"instance length past the data",
         [](auto& b, const PerfLayout& l) { PutU32(b, l.firstInstanceAt, 0xFFFFFFFFu); }},
        {"counter block length past the data",
         [=](auto& b, const PerfLayout& l) { PutU32(b, l.firstInstanceAt + blockLengthAt, 0xFFFFFF00u); }},
        {"counter block of length zero",
         [=](auto& b, const PerfLayout& l) { PutU32(b, l.firstInstanceAt + blockLengthAt, 0); }},
        {"fewer instances than the first sample found",
         [](auto& b, const PerfLayout& l) { PutU32(b, l.objectAt + 40, 3); }},
        {"a time that is no date", [](auto& b, const auto&) { test::PutU16(b, 38, 13); }},
    };
    for (const Case& c : cases) {
        Rig r;
        r.Feed({100, 200, 300, 400, 500}, 0);
        r.sampler.SampleProcessorTimes();
        ASSERT_EQ(r.sampler.InstanceCount(), 5);
        PerfLayout layout;
        r.Feed({7, 7, 7, 7, 7}, 1, &layout);
        c.corrupt(r.sim.world.performanceData, layout);
        r.sampler.SampleProcessorTimes();
        EXPECT_EQ(r.sampler.CurrentValues(), (std::vector<std::int64_t>{100, 200, 300, 400, 500})) << c.name;
        EXPECT_EQ(r.sampler.PreviousValues(), std::vector<std::int64_t>(5, 0)) << c.name;
        EXPECT_EQ(r.sampler.CurrentSampleTime(), r.FileTimeOf(0)) << c.name;
        EXPECT_EQ(r.sampler.PreviousSampleTime(), 0) << c.name;
    }
}

TEST(IdealProcessor, AFirstBlockThatDoesNotHoldTogetherLeavesTheSamplerUnsampled) {
    struct Case {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&, const PerfLayout&)> corrupt;
    };
    const Case cases[] = {
        {"more instances than the data could hold",
         [](auto& b, const PerfLayout& l) { PutU32(b, l.objectAt + 40, 0x7FFFFFFFu); }},
        {"no instances", [](auto& b, const PerfLayout& l) { PutU32(b, l.objectAt + 40, 0xFFFFFFFFu); }},
        {"an object that points back at itself",
         [](auto& b, const PerfLayout& l) {
             PutU32(b, 28, 0xFFFFFFFFu);
             PutU32(b, l.objectAt + 12, 2);
             PutU32(b, l.objectAt, 0);
         }},
    };
    for (const Case& c : cases) {
        Rig r;
        PerfLayout layout;
        r.Feed({100, 200, 300}, 0, &layout);
        c.corrupt(r.sim.world.performanceData, layout);
        r.sampler.SampleProcessorTimes();
        EXPECT_EQ(r.sampler.InstanceCount(), -1) << c.name;
        EXPECT_TRUE(r.sampler.CurrentValues().empty()) << c.name;
    }
}

TEST(IdealProcessor, StaleBytesBeyondTheReturnedLengthAreNotRead) {
    Rig r;
    // A long block first fills the buffer; the next answer is shorter, and
    // the bytes after it in the buffer still look like the old instances.
    const std::vector<std::int64_t> values(120, 1000);
    r.Feed(values, 0);
    r.sampler.SampleProcessorTimes();
    std::vector<std::uint8_t> shorter = ProcessorBlock(std::vector<std::int64_t>(120, 5000), At(1));
    shorter.resize(shorter.size() - 200);
    r.sim.world.performanceData = shorter;
    r.sampler.SampleProcessorTimes();
    EXPECT_EQ(r.sampler.CurrentValues(), values);
    EXPECT_EQ(r.sampler.CurrentSampleTime(), r.FileTimeOf(0));
}

TEST(IdealProcessor, ObjectsBeforeTheProcessorObjectAreSteppedOver) {
    Rig r;
    test::PerfBlockShape shape;
    shape.time = At(0);
    test::PerfObjectShape system;
    system.titleIndex = 2;
    system.counters = {6, 10};
    system.values = {77};
    test::PerfObjectShape processor;
    processor.counters = {2, 4, 6};  // the processor time counter is not the first
    processor.values = {11, 22, 33};
    shape.objects = {system, processor};
    r.sim.world.performanceData = test::BuildPerfBlock(shape);
    r.sampler.SampleProcessorTimes();
    EXPECT_EQ(r.sampler.CurrentValues(), (std::vector<std::int64_t>{11, 22, 33}));
}

TEST(IdealProcessor, WithoutTheProcessorObjectEveryAskSamplesAndProcessorZeroIsApplied) {
    Rig r;
    test::PerfBlockShape shape;
    test::PerfObjectShape other;
    other.titleIndex = 2;
    other.values = {1, 2};
    shape.objects = {other};
    r.sim.world.performanceData = test::BuildPerfBlock(shape);
    r.sampler.SetWindowIdealProcessor(r.window);
    EXPECT_EQ(r.sampler.InstanceCount(), -1);
    EXPECT_EQ(r.sim.world.performanceQuerySizes.size(), 3u);
    EXPECT_EQ(r.Ideal(1001), 0u);
    EXPECT_EQ(r.Ideal(1003), 0u);
}

TEST(IdealProcessor, WithoutTheProcessorTimeCounterTheCountIsSetAndNothingElse) {
    Rig r;
    test::PerfBlockShape shape;
    shape.time = At(0);
    test::PerfObjectShape processor;
    processor.counters = {2, 4};
    processor.values = {1, 2, 3};
    shape.objects = {processor};
    r.sim.world.performanceData = test::BuildPerfBlock(shape);
    r.sampler.SetWindowIdealProcessor(r.window);
    EXPECT_EQ(r.sampler.InstanceCount(), 3);
    EXPECT_EQ(r.sampler.CurrentValues(), std::vector<std::int64_t>(3, 0));
    EXPECT_EQ(r.sampler.CurrentSampleTime(), 0);
    EXPECT_EQ(r.sampler.ProcessorUsage(1), 0.0);
    EXPECT_EQ(r.Ideal(1001), 0u);
}

TEST(IdealProcessor, AFailedQueryChangesNothing) {
    Rig r;
    r.Feed({1000, 2000, 3000}, 0);
    r.sampler.SampleProcessorTimes();
    r.Feed({5000, 6000, 7000}, 1);
    r.sim.world.performanceStatus = w32::kErrorAccessDenied;
    r.sampler.SampleProcessorTimes();
    EXPECT_EQ(r.sampler.CurrentValues(), (std::vector<std::int64_t>{1000, 2000, 3000}));
    EXPECT_EQ(r.sampler.PerfBufferSize(), 8192u);
}

// ---- Processors described by the system (Windows 10 and later)

// `count` logical processors in groups of `perGroup`, of efficiency class
// `fast` for the first `fastCount` and 0 for the others; listed out of order,
// as nothing promises the order of the CPU sets.
std::vector<CpuSetInfo> Processors(int count, int perGroup, int fastCount = 0, std::uint8_t fast = 0) {
    std::vector<CpuSetInfo> sets;
    for (int i = count - 1; i >= 0; --i) {
        CpuSetInfo set;
        set.group = static_cast<std::uint16_t>(i / perGroup);
        set.logicalProcessorIndex = static_cast<std::uint8_t>(i % perGroup);
        set.efficiencyClass = i < fastCount ? fast : 0;
        sets.push_back(set);
    }
    return sets;
}

struct TopologyCase {
    const char* name;
    int processors;                  // logical processors of the system
    int perGroup;                    // of them in each group
    int listed;                      // processor instances in the performance data
    std::vector<int> idleMost;       // instances given the most idle time, the first most of all
    bool describe;                   // GetSystemCpuSetInformation exists
    std::uint32_t plainProcessors;   // what the plain call can name: 32 for this 32-bit program
    std::uint16_t threadGroup;       // the window's thread's group
    int fastCount = 0;               // hybrid: the first fastCount are of class 1
    // Expected: the window thread's ideal processor, group and which call set it.
    std::uint32_t number = 0;
    std::uint16_t group = 0;
    bool ex = false;
};

// The idle-time deltas of one second: every processor busy, the ones named
// in idleMost idle, the first of them most of all; the total last.
std::vector<std::int64_t> IdleDeltas(int listed, const std::vector<int>& idleMost) {
    std::vector<std::int64_t> deltas(static_cast<std::size_t>(listed) + 1, kSecond / 100);
    std::int64_t idle = kSecond * 9 / 10;
    for (int i : idleMost) {
        if (i < listed) deltas[static_cast<std::size_t>(i)] = idle;
        idle -= kSecond / 10;
    }
    deltas.back() = kSecond;
    return deltas;
}

void RunTopologyCase(const TopologyCase& c) {
    Rig r;
    if (c.describe) r.sim.world.UseProcessorTopology(Processors(c.processors, c.perGroup, c.fastCount, 1));
    r.sim.world.threads[1001].group = c.threadGroup;
    r.sim.world.threads[1002].group = c.threadGroup;
    IdealProcessorApi api = r.api;
    api.plainCallProcessors = c.plainProcessors;
    ProcessorSampler sampler(api);
    std::vector<std::int64_t> values(static_cast<std::size_t>(c.listed) + 1, 1'000'000'000);
    r.Feed(values, 0);
    sampler.SampleProcessorTimes();
    const std::vector<std::int64_t> deltas = IdleDeltas(c.listed, c.idleMost);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] += deltas[i];
    r.Feed(values, 1);
    const IdealMove move = sampler.SetWindowIdealProcessor(r.window);

    const sim::SimThread& thread = r.sim.world.threads[1001];
    EXPECT_EQ(thread.idealProcessor, c.number) << c.name;
    EXPECT_EQ(thread.idealGroup, c.group) << c.name;
    EXPECT_EQ(thread.idealProcessorExSets > 0, c.ex) << c.name;
    EXPECT_EQ(thread.idealProcessorSets > 0, !c.ex) << c.name;
    EXPECT_EQ(move.ex, c.ex) << c.name;
    EXPECT_EQ(r.sim.world.threads[1003].idealProcessor, c.threadGroup == 0 ? c.number : 99u)
        << c.name << ": thread 1003 lies in group 0";
    EXPECT_EQ(r.sim.world.handles.OpenCount(), r.startHandles) << c.name;
}

TEST(IdealProcessor, OnAHybridProcessorOnlyTheFastestClassIsChosenFrom) {
    // Eight performance processors (class 1) and sixteen efficiency ones; the
    // least used of all is efficiency processor 20, the least used fast one 3.
    const TopologyCase cases[] = {
        {"uniform processors: the choice of the plain data", 24, 64, 24, {20, 3}, true, 32, 0, 0, 20, 0, false},
        {"8 performance + 16 efficiency", 24, 64, 24, {20, 3}, true, 32, 0, 8, 3, 0, false},
        {"no GetSystemCpuSetInformation: the choice of the plain data", 24, 64, 24, {20, 3}, false, 32, 0, 8, 20,
         0, false},
    };
    for (const TopologyCase& c : cases) RunTopologyCase(c);
}

TEST(IdealProcessor, EveryProcessorOfTheThreadsGroupCanBeChosenAndIsSetWithACallThatNamesIt) {
    const TopologyCase cases[] = {
        {"48 in one group, least used above the 32 the plain call names: Ex", 48, 48, 48, {40, 10}, true, 32, 0, 0,
         40, 0, true},
        {"48 in one group, least used below 32: the plain call", 48, 48, 48, {10, 40}, true, 32, 0, 0, 10, 0,
         false},
        {"48, the data showing the 32-processor view: among those 32", 48, 48, 32, {40, 20}, true, 32, 0, 0, 20, 0,
         false},
        {"64 in one group, the last least used: Ex", 64, 64, 64, {63}, true, 32, 0, 0, 63, 0, true},
        {"64 in one group, a 64-bit program: the plain call", 64, 64, 64, {63}, true, 64, 0, 0, 63, 0, false},
        {"96 in two groups of 48, the thread in group 1: never group 0", 96, 48, 96, {10, 70}, true, 32, 1, 0, 22, 1,
         true},
        {"128 in two groups of 64, the thread in group 0: never group 1", 128, 64, 128, {100, 7}, true, 32, 0, 0, 7,
         0, true},
        {"128 without the CPU-set call: the plain call with the position", 128, 64, 128, {30, 7}, false, 32, 0, 0,
         30, 0, false},
    };
    for (const TopologyCase& c : cases) RunTopologyCase(c);
}

TEST(IdealProcessor, AThreadOfAnotherGroupKeepsItsIdealProcessor) {
    Rig r;
    r.sim.world.UseProcessorTopology(Processors(128, 64));
    r.sim.world.threads[1003].group = 1;
    EXPECT_EQ(r.ChooseFor(IdleDeltas(128, {5})), 5u);
    EXPECT_EQ(r.sim.world.threads[1002].idealProcessor, 5u);
    EXPECT_EQ(r.sim.world.threads[1003].idealProcessor, 99u);
    EXPECT_EQ(r.sim.world.threads[1003].idealProcessorExSets, 0);
}

TEST(IdealProcessor, EachMoveLeavesOneLineAndTheThreadsItHadCanBePutBack) {
    Rig r;
    r.sim.world.UseProcessorTopology(Processors(48, 48));
    IdealProcessorApi api = r.api;
    api.trace = &r.sim.trace;
    api.plainCallProcessors = 32;
    ProcessorSampler sampler(api);
    r.sim.world.threads[1002].idealProcessor = 7;
    std::vector<std::int64_t> values(49, 1'000'000'000);
    values[40] += kSecond;  // the most idle time since start
    r.Feed(values, 0);
    const IdealMove move = sampler.SetWindowIdealProcessor(r.window);
    ASSERT_EQ(r.sim.world.debugLines.size(), 1u);
    EXPECT_EQ(r.sim.world.debugLines[0], u"KestrixTray: ideal: processor 40 (group 0, number 40, Ex) set on 3 threads\n");
    ASSERT_EQ(move.previous.size(), 3u);

    sampler.RestoreThreadIdeals(move.previous);
    EXPECT_EQ(r.Ideal(1001), 99u);
    EXPECT_EQ(r.Ideal(1002), 7u);
    EXPECT_EQ(r.Ideal(1003), 99u);
    EXPECT_EQ(r.Ideal(2001), 99u);
    EXPECT_EQ(r.sim.world.handles.OpenCount(), r.startHandles);
}

// ---- Instances matched by their names; moves told only when they happened

struct NamedCase {
    const char* name;
    std::vector<std::u16string> names;   // the instances in the data's order, total last
    std::vector<int> idleMost;           // positions in the data, the first idle most
    bool ex;                             // SetThreadIdealProcessorEx exists (Windows 7 and later)
    std::uint32_t number;                // the window thread's ideal processor
    bool byEx;                           // set with the Ex call
};

std::vector<std::u16string> Names(int count, bool withGroup, bool reversed) {
    std::vector<std::u16string> names;
    for (int i = 0; i < count; ++i) {
        const int n = reversed ? count - 1 - i : i;
        std::string text = (withGroup ? "0," : "") + std::to_string(n);
        names.push_back(std::u16string(text.begin(), text.end()));
    }
    names.push_back(withGroup ? u"0,_Total" : u"_Total");
    return names;
}

TEST(IdealProcessor, InstancesAreMatchedToProcessorsByTheirNames) {
    const NamedCase cases[] = {
        {"8, listed in reverse: position 1 is processor 6", Names(8, false, true), {1, 5}, false, 6, false},
        {"8 named group,number, in order", Names(8, true, false), {5, 1}, false, 5, false},
        {"48 before Windows 10, least used 40: the Ex call names it", Names(48, true, false), {40, 10}, true, 40,
         true},
        {"48 without the Ex call: among the 32 the plain call names", Names(48, false, false), {40, 10}, false, 10,
         false},
        {"the total named first is never chosen",
         [] {
             std::vector<std::u16string> names = {u"_Total", u"0", u"1", u"2"};
             return names;
         }(),
         {0, 2}, false, 1, false},
    };
    for (const NamedCase& c : cases) {
        Rig r;
        if (c.ex) r.sim.world.libraries[u"KERNEL32.DLL"].entries.insert("SetThreadIdealProcessorEx");
        IdealProcessorApi api = r.api;
        api.plainCallProcessors = 32;
        ProcessorSampler sampler(api);
        const auto feed = [&](std::uint16_t second, const std::vector<std::int64_t>& values) {
            test::PerfBlockShape shape;
            shape.time = At(second);
            test::PerfObjectShape object;
            object.values = values;
            object.names = c.names;
            shape.objects = {object};
            r.sim.world.performanceData = test::BuildPerfBlock(shape);
        };
        std::vector<std::int64_t> values(c.names.size(), 1'000'000'000);
        feed(0, values);
        sampler.SampleProcessorTimes();
        std::int64_t idle = kSecond * 9 / 10;
        for (const int i : c.idleMost) {
            values[static_cast<std::size_t>(i)] += idle;
            idle -= kSecond / 10;
        }
        feed(1, values);
        const IdealMove move = sampler.SetWindowIdealProcessor(r.window);
        EXPECT_EQ(r.Ideal(1001), c.number) << c.name;
        EXPECT_EQ(move.processor.number, c.number) << c.name;
        EXPECT_EQ(move.ex, c.byEx) << c.name;
        EXPECT_EQ(r.sim.world.threads[1001].idealProcessorExSets > 0, c.byEx) << c.name;
    }
}

TEST(IdealProcessor, AMoveThatSetNoThreadIsNotToldAsAMove) {
    Rig r;
    IdealProcessorApi api = r.api;
    api.trace = &r.sim.trace;
    ProcessorSampler sampler(api);
    for (auto& entry : r.sim.world.threads) entry.second.openable = false;
    r.Feed({1000, 2000, 3000, 9000}, 0);
    sampler.SetWindowIdealProcessor(r.window);
    ASSERT_EQ(r.sim.world.debugLines.size(), 1u);
    EXPECT_EQ(r.sim.world.debugLines[0],
              u"KestrixTray: ideal: processor 2 (group 0, number 2) could not be set on any thread\n");
}

}  // namespace
}  // namespace kx
