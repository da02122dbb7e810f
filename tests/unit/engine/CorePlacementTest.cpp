#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "PerfBlockBuilder.h"
#include "engine/CorePlacement.h"
#include "engine/IdealProcessor.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::SimPlatform;

constexpr std::int64_t kSecond = 10'000'000;  // 100-ns units
constexpr std::uint64_t kMiB = 1024 * 1024;

// A synthetic machine: its CPU sets (ids from 0x100, as Windows numbers
// them) and its last-level caches.
struct Machine {
    std::vector<CpuSetInfo> sets;
    std::vector<CacheInfo> caches;
    std::uint64_t systemMask = 0;
    int perGroup = 64;
};

// count logical processors, perGroup to a group; cls(i) gives each one's
// efficiency class; each cache spans the flat range [first, last] with its size.
Machine Build(int count, int perGroup, const std::function<std::uint8_t(int)>& cls,
              const std::vector<std::tuple<int, int, std::uint64_t>>& caches) {
    Machine m;
    m.perGroup = perGroup;
    for (int i = 0; i < count; ++i) {
        CpuSetInfo set;
        set.id = 0x100u + static_cast<std::uint32_t>(i);
        set.group = static_cast<std::uint16_t>(i / perGroup);
        set.logicalProcessorIndex = static_cast<std::uint8_t>(i % perGroup);
        set.efficiencyClass = cls(i);
        m.sets.push_back(set);
    }
    for (const auto& [first, last, size] : caches) {
        CacheInfo cache;
        cache.level = 3;
        cache.size = size;
        for (int i = first; i <= last; ++i) {
            const auto group = static_cast<std::uint16_t>(i / perGroup);
            if (cache.processors.empty() || cache.processors.back().group != group) {
                cache.processors.push_back(GroupMask{group, 0});
            }
            cache.processors.back().mask |= std::uint64_t{1} << (i % perGroup);
        }
        m.caches.push_back(cache);
        // Every machine has smaller caches too: only the last level counts.
        CacheInfo l2;
        l2.level = 2;
        l2.size = size * 4;  // larger than any L3 here, so that a wrong level would show
        l2.processors = cache.processors;
        m.caches.push_back(l2);
    }
    m.systemMask = perGroup >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << std::min(count, perGroup)) - 1;
    return m;
}

Machine Uniform8() { return Build(8, 64, [](int) { return std::uint8_t{0}; }, {{0, 7, 32 * kMiB}}); }
// 8 performance cores with two threads each (class 1), then 16 efficiency cores.
Machine Hybrid() { return Build(32, 64, [](int i) { return static_cast<std::uint8_t>(i < 16 ? 1 : 0); }, {{0, 31, 36 * kMiB}}); }
// Two dies of 8 cores, two threads each: 96 MiB on the first, 32 MiB on the second.
Machine TwoDies() {
    return Build(32, 64, [](int) { return std::uint8_t{0}; }, {{0, 15, 96 * kMiB}, {16, 31, 32 * kMiB}});
}
Machine Parked(Machine m, int first, int last) {
    for (int i = first; i <= last; ++i) m.sets[static_cast<std::size_t>(i)].flags |= w32::kCpuSetParked;
    return m;
}
// Two groups of 64, each with 16 performance threads first.
Machine TwoGroups() {
    return Build(128, 64, [](int i) { return static_cast<std::uint8_t>(i % 64 < 16 ? 1 : 0); }, {{0, 63, 36 * kMiB}, {64, 127, 36 * kMiB}});
}

std::vector<int> Range(int first, int last) {
    std::vector<int> out;
    for (int i = first; i <= last; ++i) out.push_back(i);
    return out;
}

struct Rig {
    explicit Rig(const Machine& m) : machine(m) {
        sim.world.UseProcessorTopology(m.sets);
        sim.world.caches = m.caches;
        sim.world.systemAffinityMask = m.systemMask;
        sim.world.AddProcess(100, u"\\Device\\HarddiskVolume1\\Games\\game.exe");
        window = sim.world.AddWindow(u"Game", u"GameClass", 100, 1001);
        sim.world.AddThread(1002, 100);
        startHandles = sim.world.handles.OpenCount();
    }
    std::vector<int> Given() const {
        std::vector<int> flat;
        for (const std::uint32_t id : sim.world.processes.at(100).defaultCpuSets) flat.push_back(static_cast<int>(id - 0x100));
        return flat;
    }
    // Two samples a second apart in which the processors of idleMost were
    // idle, the first most of all; returns the window thread's ideal processor.
    ProcessorNumber IdealAfterMove(const std::vector<int>& idleMost) {
        const std::size_t count = machine.sets.size();
        std::vector<std::int64_t> values(count + 1, 1'000'000'000);
        sim.world.performanceData = test::ProcessorBlock(values, SystemTime{2022, 6, 3, 1, 12, 0, 0, 0});
        sampler.SampleProcessorTimes();
        std::int64_t idle = kSecond * 9 / 10;
        for (std::size_t i = 0; i < count; ++i) values[i] += kSecond / 100;
        for (const int i : idleMost) {
            values[static_cast<std::size_t>(i)] += idle;
            idle -= kSecond / 10;
        }
        values.back() += kSecond;
        sim.world.performanceData = test::ProcessorBlock(values, SystemTime{2022, 6, 3, 1, 12, 0, 1, 0});
        const std::vector<ProcessorNumber>* within = placer.PlacedProcess() == 100 ? &placer.Placed().processors : nullptr;
        sampler.SetWindowIdealProcessor(window, within);
        const sim::SimThread& thread = sim.world.threads.at(1001);
        return ProcessorNumber{thread.idealGroup, static_cast<std::uint8_t>(thread.idealProcessor)};
    }

    Machine machine;
    SimPlatform sim;
    PlacementApi api{sim.system, sim.processes, sim.libraries, &sim.trace};
    CorePlacer placer{api};
    IdealProcessorApi idealApi{sim.registry, sim.system, sim.windows, sim.processes, sim.libraries, nullptr, 32};
    ProcessorSampler sampler{idealApi};
    Hwnd window = 0;
    std::size_t startHandles = 0;
};

TEST(CorePlacement, EachTopologyGetsItsSetAndTheIdealProcessorInsideIt) {
    struct Case {
        const char* name;
        Machine machine;
        std::function<void(sim::SimProcess&)> process;  // what the program chose itself
        PlacementResult result;
        std::vector<int> given;      // flat processor numbers of the set given
        std::vector<int> idleMost;   // the processors idle most, the first most of all
        ProcessorNumber ideal;       // the window thread's ideal processor after the move
    };
    const auto none = [](sim::SimProcess&) {};
    const Case cases[] = {
        {"uniform 8: nothing set", Uniform8(), none, PlacementResult::Alike, {}, {6, 2}, {0, 6}},
        {"hybrid 8P (16 threads) + 16E: the performance threads", Hybrid(), none, PlacementResult::Placed,
         Range(0, 15), {20, 3}, {0, 3}},
        {"two dies, 96 and 32 MiB: the large-cache die, the move inside it", TwoDies(), none,
         PlacementResult::Placed, Range(0, 15), {20, 5}, {0, 5}},
        {"hybrid with parked performance processors: never those", Parked(Hybrid(), 0, 9), none,
         PlacementResult::Placed, Range(10, 15), {2, 20, 12}, {0, 12}},
        {"hybrid with one performance processor left: no set of one", Parked(Hybrid(), 0, 14), none,
         PlacementResult::Alike, {}, {3, 20, 15}, {0, 15}},
        {"2 groups of 64: the performance threads of both, the move in the thread's group", TwoGroups(), none,
         PlacementResult::Placed, [] {
             std::vector<int> both = Range(0, 15);
             for (int i : Range(64, 79)) both.push_back(i);
             return both;
         }(),
         {70, 40, 9}, {0, 9}},
        {"a set of its own: left as it is", Hybrid(),
         [](sim::SimProcess& p) { p.defaultCpuSets = {0x110, 0x111}; }, PlacementResult::OwnSet, {16, 17}, {20, 3},
         {0, 3}},
        {"an affinity narrower than the system's: left as it is", Hybrid(),
         [](sim::SimProcess& p) { p.affinityMask = 0xFF; }, PlacementResult::NarrowAffinity, {}, {20, 3}, {0, 3}},
        {"SetProcessDefaultCpuSets refused: nothing set", Hybrid(),
         [](sim::SimProcess& p) { p.cpuSetRefusal = static_cast<std::uint32_t>(w32::kErrorAccessDenied); },
         PlacementResult::Refused, {}, {20, 3}, {0, 3}},
    };
    for (const Case& c : cases) {
        Rig r(c.machine);
        c.process(r.sim.world.processes[100]);
        const std::vector<int> before = r.Given();
        EXPECT_EQ(r.placer.Place(100, PlacementKind::Auto), c.result) << c.name;
        EXPECT_EQ(r.Given(), c.given) << c.name;
        const ProcessorNumber ideal = r.IdealAfterMove(c.idleMost);
        EXPECT_EQ(ideal.group, c.ideal.group) << c.name;
        EXPECT_EQ(ideal.number, c.ideal.number) << c.name;
        // Put back: the set it had before, none cleared.
        r.placer.Restore();
        EXPECT_EQ(r.Given(), before) << c.name;
        EXPECT_EQ(r.placer.PlacedProcess(), 0u) << c.name;
        EXPECT_EQ(r.sim.world.handles.OpenCount(), r.startHandles) << c.name;
        // One line for the placement, whatever it found.
        std::size_t placementLines = 0;
        for (const Text& line : r.sim.world.debugLines) {
            if (line.rfind(u"KestrixTray: placement: process 100", 0) == 0) ++placementLines;
        }
        EXPECT_EQ(placementLines, 1u) << c.name;
    }
}

TEST(CorePlacement, TheKindWantedChoosesTheProcessors) {
    struct Case {
        const char* name;
        Machine machine;
        PlacementKind wanted;
        PlacementKind kind;  // what the choice stands for
        std::vector<int> given;
    };
    const Case cases[] = {
        {"performance on a hybrid", Hybrid(), PlacementKind::Performance, PlacementKind::Performance, Range(0, 15)},
        {"efficiency on a hybrid", Hybrid(), PlacementKind::Efficiency, PlacementKind::Efficiency, Range(16, 31)},
        {"large cache on a hybrid of one cache: none", Hybrid(), PlacementKind::LargeCache, PlacementKind::None, {}},
        {"performance on two uniform dies: none", TwoDies(), PlacementKind::Performance, PlacementKind::None, {}},
        {"large cache on two dies", TwoDies(), PlacementKind::LargeCache, PlacementKind::LargeCache, Range(0, 15)},
        {"auto on two dies", TwoDies(), PlacementKind::Auto, PlacementKind::LargeCache, Range(0, 15)},
        {"none", Hybrid(), PlacementKind::None, PlacementKind::None, {}},
        {"allocated processors are never chosen",
         [] {
             Machine m = Hybrid();
             for (int i = 0; i < 4; ++i) m.sets[static_cast<std::size_t>(i)].flags = w32::kCpuSetAllocated;
             return m;
         }(),
         PlacementKind::Auto, PlacementKind::Performance, Range(4, 15)},
    };
    for (const Case& c : cases) {
        const CoreChoice choice = ChooseCores(c.machine.sets, c.machine.caches, c.wanted);
        EXPECT_EQ(choice.kind, c.kind) << c.name;
        std::vector<int> flat;
        for (const ProcessorNumber& p : choice.processors) flat.push_back(p.group * 64 + p.number);
        EXPECT_EQ(flat, c.given) << c.name;
        ASSERT_EQ(choice.ids.size(), choice.processors.size()) << c.name;
        for (std::size_t i = 0; i < choice.ids.size(); ++i) EXPECT_EQ(choice.ids[i], 0x100u + flat[i]) << c.name;
    }
}

TEST(CorePlacement, ASetTheProgramChangedMeanwhileStaysAtTheRestore) {
    Rig r(Hybrid());
    ASSERT_EQ(r.placer.Place(100, PlacementKind::Auto), PlacementResult::Placed);
    r.sim.world.processes[100].defaultCpuSets = {0x105};
    r.placer.Restore();
    EXPECT_EQ(r.Given(), std::vector<int>{5});
}

TEST(CorePlacement, WithoutProcessCpuSetsNothingIsTriedAndWithoutTheGetCallTheRestoreClears) {
    {
        // Windows 7 and 8: no CPU sets at all.
        Rig r(Hybrid());
        r.sim.world.libraries[u"KERNEL32.DLL"].entries.erase("SetProcessDefaultCpuSets");
        EXPECT_EQ(r.placer.Place(100, PlacementKind::Auto), PlacementResult::Unsupported);
        EXPECT_TRUE(r.sim.world.cpuSetCalls.empty());
    }
    {
        // As Wine 8: no GetProcessDefaultCpuSets; the set is given and cleared again.
        Rig r(Hybrid());
        r.sim.world.libraries[u"KERNEL32.DLL"].entries.erase("GetProcessDefaultCpuSets");
        EXPECT_EQ(r.placer.Place(100, PlacementKind::Auto), PlacementResult::Placed);
        r.placer.Place(0, PlacementKind::Auto);  // another window with no process
        ASSERT_EQ(r.sim.world.cpuSetCalls.size(), 2u);
        EXPECT_TRUE(r.sim.world.cpuSetCalls[1].second.empty());
        EXPECT_EQ(r.sim.world.handles.OpenCount(), r.startHandles);
    }
}

}  // namespace
}  // namespace kx
