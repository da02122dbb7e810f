// The block-list editor's cost on the host for the largest list the shared
// caps allow (4 MiB, 65,536 rows of 64 bytes), and the statistics window's
// look at an unchanged file against reading it.
#include <benchmark/benchmark.h>

#include <string>

#include "companion/BlockListStore.h"
#include "config/InputLimits.h"
#include "sim/SimPlatform.h"

namespace {

const kx::Text kPath = u"C:\\ProgramData\\VELMOR\\Kestrix\\Kestrix.csv";

struct LargestList {
    LargestList() {
        sim.world.folders = {u"C:\\PROGRAMDATA", u"C:\\PROGRAMDATA\\VELMOR", u"C:\\PROGRAMDATA\\VELMOR\\KESTRIX"};
        std::string ansi;
        for (std::size_t i = 0; i < kx::kMaxBlockListRows; ++i) {
            std::string row = "+ 1 Program" + std::to_string(i) + " ";
            row += std::string(62 - row.size(), 'd') + "\r\n";
            ansi += row;
        }
        sim.world.files[kx::sim::Upper(kPath)] = kx::sim::SimFile{std::vector<std::uint8_t>(ansi.begin(), ansi.end())};
    }
    kx::sim::SimPlatform sim;
    kx::BlockListStore store{sim.system, sim.files, sim.clock};
};

void BM_EditorLoadsLargestList(benchmark::State& state) {
    LargestList list;
    for (auto _ : state) benchmark::DoNotOptimize(list.store.Load(kPath));
}

// As UTF-16 the list is past the size cap: the save is refused after serializing and checking.
void BM_EditorRefusesLargestAnsiListAsUtf16(benchmark::State& state) {
    LargestList list;
    auto loaded = list.store.Load(kPath);
    for (auto _ : state) {
        if (list.store.Save(kPath, loaded) != kx::SaveResult::TooLarge) state.SkipWithError("not refused");
    }
}

// The largest list the editor writes: 65,536 rows, one line each, within 4 MiB as UTF-16.
void BM_EditorSavesLargestUtf16List(benchmark::State& state) {
    LargestList list;
    kx::LoadedBlockList loaded;
    list.sim.world.files.clear();
    for (std::size_t i = 0; i < kx::kMaxBlockListRows; ++i) {
        loaded.document.AddRow(u"1", u"P" + kx::Text(10, static_cast<char16_t>(u'a' + i % 26)), u"d");
    }
    for (auto _ : state) {
        if (list.store.Save(kPath, loaded) != kx::SaveResult::Saved) state.SkipWithError("not saved");
    }
}

void BM_StatisticsLookAtUnchangedList(benchmark::State& state) {
    LargestList list;
    kx::BlockListWatch watch(list.store);
    watch.Refresh(kPath);
    for (auto _ : state) benchmark::DoNotOptimize(watch.Refresh(kPath));
}

// A file at the size cap of nothing but line breaks: four million lines, no row.
void BM_EditorLoadsLineBreaksAtTheCap(benchmark::State& state) {
    LargestList list;
    list.sim.world.files[kx::sim::Upper(kPath)] =
        kx::sim::SimFile{std::vector<std::uint8_t>(static_cast<std::size_t>(kx::kMaxBlockListFileBytes), '\n')};
    for (auto _ : state) benchmark::DoNotOptimize(list.store.Load(kPath));
}

BENCHMARK(BM_EditorLoadsLargestList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditorLoadsLineBreaksAtTheCap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditorRefusesLargestAnsiListAsUtf16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditorSavesLargestUtf16List)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StatisticsLookAtUnchangedList);

}  // namespace
