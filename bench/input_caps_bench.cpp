// What the largest input the caps allow costs KestrixTray: loading a
// block-list file at every cap at once (time, and the peak of heap memory the
// load adds), matching against its rows once a tick, and reading a settings
// text at its cap. The heap is counted by this program's own operator new.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "config/InputLimits.h"
#include "config/Settings.h"
#include "engine/BlockList.h"
#include "sim/SimPlatform.h"

namespace {

std::atomic<std::size_t> gLiveBytes{0};
std::atomic<std::size_t> gPeakBytes{0};

void* Allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    const std::size_t live = gLiveBytes += malloc_usable_size(p);
    std::size_t peak = gPeakBytes.load();
    while (live > peak && !gPeakBytes.compare_exchange_weak(peak, live)) {
    }
    return p;
}

void Release(void* p) {
    if (p == nullptr) return;
    gLiveBytes -= malloc_usable_size(p);
    std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace {

using kx::Text;

const Text kListPath = u"C:\\ProgramData\\VELMOR\\Kestrix\\Kestrix.csv";

// A file of exactly kMaxBlockListFileBytes in the ANSI code page, made of
// `rows` addition lines of equal length (as long as the size allows, at
// most the line cap), each with a pattern and a description of about half
// the line, none matching the subjects below.
std::vector<std::uint8_t> LargestFile(std::size_t rows) {
    const std::size_t lineBytes = std::min(kx::kMaxBlockListFileBytes / rows, kx::kMaxBlockListLineChars + 1);
    std::string file;
    file.reserve(kx::kMaxBlockListFileBytes);
    for (std::size_t i = 0; i < rows; ++i) {
        std::string line = "+,1,Pattern" + std::to_string(i) + std::string((lineBytes - 24) / 2, 'p') + ",d";
        line.resize(lineBytes - 1, 'd');
        file += line + "\n";
    }
    file.resize(kx::kMaxBlockListFileBytes, '\n');
    return std::vector<std::uint8_t>(file.begin(), file.end());
}

// Loads the file again and again: its time, and the peak of heap memory a load adds.
void MeasureLoad(benchmark::State& state, std::vector<std::uint8_t> file) {
    kx::sim::SimPlatform sim;
    sim.world.files[kx::sim::Upper(kListPath)] = kx::sim::SimFile{std::move(file), false};
    kx::BlockList list(sim.system, sim.files);
    std::size_t peakAdded = 0;
    for (auto _ : state) {
        list.FreeBlockList();
        const std::size_t before = gLiveBytes.load();
        gPeakBytes = before;
        if (list.LoadBlockList(kListPath) != kx::BlockListLoad::Read) state.SkipWithError("the file was not read");
        peakAdded = std::max(peakAdded, gPeakBytes.load() - before);
    }
    state.counters["rows"] = static_cast<double>(list.Rows().size());
    state.counters["peak_MiB"] = static_cast<double>(peakAdded) / (1024.0 * 1024.0);
}

void LoadLargestBlockList(benchmark::State& state) {
    MeasureLoad(state, LargestFile(static_cast<std::size_t>(state.range(0))));
}
// The most rows the caps allow (64 bytes each), and the longest lines (4,096 characters).
BENCHMARK(LoadLargestBlockList)->Arg(65536)->Arg(1024)->Unit(benchmark::kMillisecond);

void IsBlockedLargestList(benchmark::State& state) {
    kx::sim::SimPlatform sim;
    sim.world.files[kx::sim::Upper(kListPath)] =
        kx::sim::SimFile{LargestFile(static_cast<std::size_t>(state.range(0))), false};
    kx::BlockList list(sim.system, sim.files);
    list.LoadBlockList(kListPath);
    const Text caption(254, u'q');
    const Text classKey = u"#" + Text(254, u'w');
    const Text imagePath = u"C:\\" + Text(250, u'y') + u"\\a.exe";
    // Two captions in turn: every call goes through every row (a title that
    // changes every second); with one caption the focus stays put.
    const Text captions[2] = {caption, Text(253, u'q') + u"r"};
    const bool changing = state.range(1) != 0;
    std::size_t tick = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.IsBlocked(captions[changing ? (tick++ & 1u) : 0], classKey, imagePath));
    }
    state.counters["rows"] = static_cast<double>(list.Rows().size());
}
BENCHMARK(IsBlockedLargestList)
    ->Args({65536, 1})
    ->Args({1024, 1})
    ->Args({65536, 0})
    ->Unit(benchmark::kMicrosecond);

// The list that costs a search row by row the most: every row at the caps
// is "a" 56 times and then "b" (65,536 lines of 64 bytes, 4 MiB), of kind 1
// or 2, against a subject of "a"s that each row almost matches everywhere.
std::vector<std::uint8_t> CraftedFile(char kind) {
    std::string file;
    file.reserve(kx::kMaxBlockListFileBytes);
    const std::string line = std::string("+,") + kind + "," + std::string(56, 'a') + "b,d\n";
    for (std::size_t i = 0; i < kx::kMaxBlockListRows; ++i) file += line;
    return std::vector<std::uint8_t>(file.begin(), file.end());
}

// Range 1: kind 1 against a caption of 254 characters; kind 2 against an
// image path of 32,767. The subject changes at every call, so nothing is
// answered from the last call.
void IsBlockedCraftedList(benchmark::State& state) {
    kx::sim::SimPlatform sim;
    const bool path = state.range(0) == 2;
    sim.world.files[kx::sim::Upper(kListPath)] = kx::sim::SimFile{CraftedFile(path ? '2' : '1'), false};
    kx::BlockList list(sim.system, sim.files);
    if (list.LoadBlockList(kListPath) != kx::BlockListLoad::Read) state.SkipWithError("the file was not read");
    const std::size_t length = path ? 32767 : 254;
    const Text subjects[2] = {Text(length, u'a'), Text(length - 1, u'a') + u"A"};
    const Text classKey = u"#TKXGame";
    std::size_t call = 0;
    for (auto _ : state) {
        const Text& subject = subjects[call++ & 1u];
        benchmark::DoNotOptimize(path ? list.IsBlocked(u"Game", classKey, subject) : list.IsBlocked(subject, classKey, u"C:\\game.exe"));
    }
    state.counters["rows"] = static_cast<double>(list.Rows().size());
}
BENCHMARK(IsBlockedCraftedList)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void LoadCraftedBlockList(benchmark::State& state) { MeasureLoad(state, CraftedFile('1')); }
BENCHMARK(LoadCraftedBlockList)->Unit(benchmark::kMillisecond);

// The most pattern characters the caps allow, none shared: lines of the
// longest length that are all pattern (4,091 characters), each different
// from its first character on, so the automaton has a state per character.
void LoadLongestPatterns(benchmark::State& state) {
    std::string file;
    file.reserve(kx::kMaxBlockListFileBytes);
    for (std::size_t i = 0; file.size() + kx::kMaxBlockListLineChars + 1 <= static_cast<std::size_t>(kx::kMaxBlockListFileBytes); ++i) {
        std::string pattern = std::to_string(i) + "p";
        pattern.resize(kx::kMaxBlockListLineChars - 5, 'p');
        file += "+,1," + pattern + ",\n";
    }
    MeasureLoad(state, std::vector<std::uint8_t>(file.begin(), file.end()));
}
BENCHMARK(LoadLongestPatterns)->Unit(benchmark::kMillisecond);

// A file just past the size cap is refused before anything is read.
void RefuseFilePastTheSizeCap(benchmark::State& state) {
    kx::sim::SimPlatform sim;
    sim.world.files[kx::sim::Upper(kListPath)] =
        kx::sim::SimFile{std::vector<std::uint8_t>(16u * 1024u * 1024u, ','), false};
    kx::BlockList list(sim.system, sim.files);
    for (auto _ : state) benchmark::DoNotOptimize(list.LoadBlockList(kListPath));
}
BENCHMARK(RefuseFilePastTheSizeCap)->Unit(benchmark::kMicrosecond);

// The colour values are read every tick: at the cap, and far past it.
void ReadSettingText(benchmark::State& state) {
    kx::sim::SimPlatform sim;
    const Text key = u"HKLM\\Software\\VELMOR\\Kestrix";
    sim.world.SetString(key, u"BarColor", Text(static_cast<std::size_t>(state.range(0)), u'9'));
    kx::SettingsStore settings(sim.registry);
    for (auto _ : state) benchmark::DoNotOptimize(settings.RegReadString(u"BarColor", u"clWhite"));
}
BENCHMARK(ReadSettingText)->Arg(static_cast<std::int64_t>(kx::kMaxSettingTextChars))->Arg(32 * 1024 * 1024);

}  // namespace
