// The acceleration engine's per-tick costs against the simulated Windows:
// block-list matching, one performance sample, and a whole stage-1 tick.
#include <benchmark/benchmark.h>

#include <string>

#include "PerfBlockBuilder.h"
#include "app/AccelerationStage.h"
#include "engine/BlockList.h"
#include "engine/IdealProcessor.h"
#include "sim/SimPlatform.h"

namespace {

using kx::Text;

const Text kListPath = u"C:\\ProgramData\\VELMOR\\Kestrix\\Kestrix.csv";

// Subjects of the largest sizes the snapshot produces, matching no row.
Text Caption() { return Text(254, u'q'); }
Text ClassKey() { return u"#" + Text(254, u'w'); }
Text ImagePath() { return u"C:\\" + Text(250, u'y') + u"\\a.exe"; }

void WriteUserRows(kx::sim::SimWorld& world, int rows) {
    std::string file;
    for (int i = 0; i < rows; ++i) {
        file += "+," + std::to_string(i % 3) + ",Program" + std::to_string(i) + ".exe,row " + std::to_string(i) + "\r\n";
    }
    world.files[kx::sim::Upper(kListPath)] = kx::sim::SimFile{std::vector<std::uint8_t>(file.begin(), file.end()), false};
}

void IsBlocked(benchmark::State& state) {
    kx::sim::SimPlatform sim;
    WriteUserRows(sim.world, static_cast<int>(state.range(0)));
    kx::BlockList list(sim.system, sim.files);
    list.LoadBlockList(kListPath);
    const Text caption = Caption();
    const Text classKey = ClassKey();
    const Text imagePath = ImagePath();
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.IsBlocked(caption, classKey, imagePath));
    }
    state.counters["rows"] = static_cast<double>(list.Rows().size());
}
BENCHMARK(IsBlocked)->Arg(0)->Arg(10000);

void LoadBlockList(benchmark::State& state) {
    kx::sim::SimPlatform sim;
    WriteUserRows(sim.world, static_cast<int>(state.range(0)));
    kx::BlockList list(sim.system, sim.files);
    for (auto _ : state) list.LoadBlockList(kListPath);
}
BENCHMARK(LoadBlockList)->Arg(10000)->Unit(benchmark::kMillisecond);

void SampleProcessorTimes256(benchmark::State& state) {
    kx::sim::SimPlatform sim;
    sim.world.performanceData =
        kx::test::ProcessorBlock(std::vector<std::int64_t>(257, 123456789), kx::SystemTime{2022, 6, 3, 1, 12, 0, 0, 0});
    kx::IdealProcessorApi api{sim.registry, sim.system, sim.windows, sim.processes, sim.libraries};
    kx::ProcessorSampler sampler(api);
    sampler.SampleProcessorTimes();  // the buffer has its size from here on
    for (auto _ : state) sampler.SampleProcessorTimes();
    state.counters["bytes"] = static_cast<double>(sim.world.performanceData.size());
}
BENCHMARK(SampleProcessorTimes256);

// Stage 1 with the foreground on one window: snapshot, block check, Handle read.
// With range 1 the focus alternates between two programs, so every tick
// restores, raises, writes Handle and moves threads.
void AccelerationStageTick(benchmark::State& state) {
    kx::sim::SimPlatform sim;
    sim.world.AddProcess(100, u"\\Device\\HarddiskVolume1\\Games\\game.exe");
    sim.world.AddProcess(200, u"\\Device\\HarddiskVolume1\\Apps\\editor.exe");
    const kx::Hwnd a = sim.world.AddWindow(u"Game", u"GameClass", 100, 1001);
    const kx::Hwnd b = sim.world.AddWindow(u"Editor", u"EditorClass", 200, 2001);
    for (std::uint32_t t = 0; t < 30; ++t) sim.world.AddThread(3000 + t, t % 2 == 0 ? 100 : 200);
    sim.world.performanceData =
        kx::test::ProcessorBlock(std::vector<std::int64_t>(9, 123456789), kx::SystemTime{2022, 6, 3, 1, 12, 0, 0, 0});
    kx::InspectionApi inspection{sim.windows, sim.processes, sim.system, sim.libraries};
    kx::SettingsStore settings{sim.registry};
    kx::BlockList list(sim.system, sim.files);
    list.LoadBlockList(kListPath);
    kx::PriorityControl priority(sim.windows, sim.processes);
    kx::IdealProcessorApi idealApi{sim.registry, sim.system, sim.windows, sim.processes, sim.libraries};
    kx::ProcessorSampler sampler(idealApi);
    kx::AccelerationStage stage(inspection, settings, list, priority, sampler);
    const bool alternate = state.range(0) != 0;
    bool onA = true;
    std::size_t ticks = 0;
    for (auto _ : state) {
        sim.world.foreground = onA ? a : b;
        if (alternate) onA = !onA;
        stage.Run();
        // The simulated Windows keeps a record of every call; keep it short.
        if (++ticks % 4096 == 0) {
            state.PauseTiming();
            sim.world.keyOpens.clear();
            sim.world.libraryLoads.clear();
            sim.world.performanceQuerySizes.clear();
            sim.processes.openRequests.clear();
            sim.processes.openThreadAccess.clear();
            state.ResumeTiming();
        }
    }
}
BENCHMARK(AccelerationStageTick)->Arg(0)->Arg(1);

}  // namespace
