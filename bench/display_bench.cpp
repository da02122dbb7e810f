// The graph icon's cost per drawing on the host: the picture drawn into its
// pixel buffer and handed to the simulated platform as an icon, then freed.
#include <benchmark/benchmark.h>

#include "display/ColorText.h"
#include "display/LoadIconRenderer.h"
#include "display/LoadMeter.h"
#include "sim/SimPlatform.h"

namespace {

using kx::IconRenderer;
using kx::sim::SimPlatform;

void RenderLoadIcon(benchmark::State& state, int side, const char16_t* background, const char16_t* grid,
                    const char16_t* bar) {
    SimPlatform sim;
    sim.world.metrics[kx::w32::kSmCxSmIcon] = side;
    sim.world.metrics[kx::w32::kSmCySmIcon] = side;
    IconRenderer renderer(sim.windows, sim.drawing);
    std::int32_t percent = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(renderer.RenderLoadIcon(background, grid, bar, percent));
        renderer.FreeLoadIcon();
        percent = (percent + 37) % 101;
    }
}

void BM_RenderLoadIcon16(benchmark::State& state) {
    RenderLoadIcon(state, 16, u"clWhite", u"clGray", u"$00FF8000");
}
void BM_RenderLoadIcon64(benchmark::State& state) {
    RenderLoadIcon(state, 64, u"clWhite", u"clGray", u"$00FF8000");
}
// System colours ask the platform once per colour per drawing.
void BM_RenderLoadIcon64SystemColours(benchmark::State& state) {
    RenderLoadIcon(state, 64, u"clWindow", u"clBtnShadow", u"clHighlight");
}
BENCHMARK(BM_RenderLoadIcon16);
BENCHMARK(BM_RenderLoadIcon64);
BENCHMARK(BM_RenderLoadIcon64SystemColours);

void BM_LoadBarTop(benchmark::State& state) {
    std::int32_t percent = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kx::LoadBarTop(percent, 64));
        percent = (percent + 37) % 101;
    }
}
BENCHMARK(BM_LoadBarTop);

void BM_ParseColorText(benchmark::State& state) {
    const kx::Text texts[] = {u"clWhite", u"clGradientInactiveCaption", u"$00FF8000", u"  -16777211", u"orange"};
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kx::ParseColorText(texts[i]));
        i = (i + 1) % 5;
    }
}
BENCHMARK(BM_ParseColorText);

}  // namespace
