// What CorePlacement adds to a look that raises a program, against the
// simulated Windows: the set put back for the program raised before and
// chosen and given to the new one, on a hybrid of 32 logical processors
// (8 performance cores with two threads, 16 efficiency cores) and on 128
// processors in two groups; and the ideal-processor move with and without the set.
#include <benchmark/benchmark.h>

#include "PerfBlockBuilder.h"
#include "engine/CorePlacement.h"
#include "engine/IdealProcessor.h"
#include "sim/SimPlatform.h"

namespace {

// count processors, perGroup to a group, the first `fast` of each group of class 1.
std::vector<kx::CpuSetInfo> Topology(int count, int perGroup, int fast) {
    std::vector<kx::CpuSetInfo> sets;
    for (int i = 0; i < count; ++i) {
        kx::CpuSetInfo set;
        set.id = 0x100u + static_cast<std::uint32_t>(i);
        set.group = static_cast<std::uint16_t>(i / perGroup);
        set.logicalProcessorIndex = static_cast<std::uint8_t>(i % perGroup);
        set.efficiencyClass = i % perGroup < fast ? 1 : 0;
        sets.push_back(set);
    }
    return sets;
}

void Setup(kx::sim::SimPlatform& sim, int count, int perGroup, int fast) {
    sim.world.UseProcessorTopology(Topology(count, perGroup, fast));
    kx::CacheInfo l3;
    l3.level = 3;
    l3.size = 36u * 1024 * 1024;
    for (int g = 0; g < (count + perGroup - 1) / perGroup; ++g) {
        l3.processors.push_back(kx::GroupMask{static_cast<std::uint16_t>(g), ~std::uint64_t{0}});
    }
    sim.world.caches = {l3};
    sim.world.systemAffinityMask = perGroup >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << perGroup) - 1;
    sim.world.AddProcess(100, u"\\Device\\HarddiskVolume1\\Games\\game.exe");
    sim.world.AddProcess(200, u"\\Device\\HarddiskVolume1\\Apps\\editor.exe");
}

// One look's placement: the program raised before gets its set back, the new one its own.
void PlacementPerLook(benchmark::State& state) {
    kx::sim::SimPlatform sim;
    const int count = static_cast<int>(state.range(0));
    Setup(sim, count, count > 64 ? 64 : count, 16);
    kx::CorePlacer placer(kx::PlacementApi{sim.system, sim.processes, sim.libraries, nullptr});
    std::uint32_t next = 100;
    for (auto _ : state) {
        benchmark::DoNotOptimize(placer.Place(next, kx::PlacementKind::Auto));
        next = next == 100 ? 200 : 100;
    }
    state.counters["processors"] = count;
    state.counters["placed"] = static_cast<double>(placer.Placed().ids.size());
}
BENCHMARK(PlacementPerLook)->Arg(32)->Arg(128);

// The ideal-processor move of a look, among every processor or inside the set.
void IdealMove(benchmark::State& state) {
    kx::sim::SimPlatform sim;
    const int count = static_cast<int>(state.range(0));
    Setup(sim, count, count > 64 ? 64 : count, 16);
    const kx::Hwnd window = sim.world.AddWindow(u"Game", u"GameClass", 100, 1001);
    for (std::uint32_t t = 1002; t < 1020; ++t) sim.world.AddThread(t, 100);
    sim.world.performanceData = kx::test::ProcessorBlock(std::vector<std::int64_t>(static_cast<std::size_t>(count) + 1, 5),
                                                         kx::SystemTime{2022, 6, 3, 1, 12, 0, 0, 0});
    kx::IdealProcessorApi api{sim.registry, sim.system, sim.windows, sim.processes, sim.libraries};
    kx::ProcessorSampler sampler(api);
    const kx::CoreChoice choice = kx::ChooseCores(sim.world.cpuSets, sim.world.caches, kx::PlacementKind::Auto);
    const bool inside = state.range(1) != 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sampler.SetWindowIdealProcessor(window, inside ? &choice.processors : nullptr));
    }
}
BENCHMARK(IdealMove)->Args({32, 0})->Args({32, 1})->Args({128, 0})->Args({128, 1});

}  // namespace
