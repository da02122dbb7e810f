// The ideal-processor sampler over arbitrary performance data, as the
// performance-data key of the simulated Windows returns it. Half the inputs
// are taken raw; the other half patch a well-formed block, so that the walk
// gets past the block header often.
//
// The choice byte and a block as large as the sampler's buffer may grow.
// fuzz-cap: 16777217
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "PerfBlockBuilder.h"
#include "engine/IdealProcessor.h"
#include "sim/SimPlatform.h"

namespace {

std::vector<std::uint8_t> BlockFrom(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return {};
    if ((data[0] & 1) == 0) return std::vector<std::uint8_t>(data + 1, data + size);
    const std::size_t instances = size > 1 ? data[1] % 70 + 1 : 3;
    std::vector<std::int64_t> values(instances);
    for (std::size_t i = 0; i < instances; ++i) values[i] = static_cast<std::int64_t>(i * 1'000'003);
    std::vector<std::uint8_t> block =
        kx::test::ProcessorBlock(values, kx::SystemTime{2022, 6, 3, 1, 12, 0, 0, 0});
    // Each five bytes: where (two bytes) and what (four bytes, overlapping the next where).
    for (std::size_t at = 2; at + 6 <= size; at += 5) {
        const std::size_t where = (static_cast<std::size_t>(data[at]) | (static_cast<std::size_t>(data[at + 1]) << 8)) %
                                  (block.size() - 3);
        for (std::size_t k = 0; k < 4; ++k) block[where + k] = data[at + 2 + k];
    }
    if (size > 2 && data[2] < 32) block.resize(block.size() * data[2] / 32);
    return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kx::sim::SimPlatform sim;
    sim.world.AddProcess(100, u"\\Device\\HarddiskVolume1\\game.exe");
    const kx::Hwnd window = sim.world.AddWindow(u"Game", u"GameClass", 100, 1001);
    sim.world.AddThread(1002, 100);
    kx::IdealProcessorApi api{sim.registry, sim.system, sim.windows, sim.processes, sim.libraries};
    {
        kx::ProcessorSampler sampler(api);
        const std::vector<std::uint8_t> block = BlockFrom(data, size);
        sim.world.performanceData = block;
        sampler.SampleProcessorTimes();
        // A second, different reading: the same data with its time moved on.
        if (block.size() >= 40) sim.world.performanceData[38] ^= 1;
        sampler.SetWindowIdealProcessor(window);

        const std::int32_t count = sampler.InstanceCount();
        if (count >= 0 && (sampler.CurrentValues().size() != static_cast<std::size_t>(count) ||
                           sampler.PreviousValues().size() != static_cast<std::size_t>(count))) {
            std::abort();
        }
        for (std::int32_t i = -1; i <= count + 1 && i < 300; ++i) sampler.ProcessorUsage(i);
        const std::uint32_t chosen = sim.world.threads[1001].idealProcessor;
        // Instances name their processors ("group,number" or "number"), so
        // the choice may be any processor a plain call can name, but no other.
        if (chosen >= api.plainCallProcessors) std::abort();
        if (sampler.PerfBufferSize() > kx::kPerfBufferCeiling) std::abort();
    }
    if (sim.world.handles.OpenCount() != 0 || sim.world.handles.BadCloses() != 0) std::abort();
    return 0;
}
