// Colour texts, loads and icon metrics of any kind: the renderer never fails
// past its guard, keeps its state within its ranges and draws its frame.
//
// A settings text's cap (the input is read only as far as four calls go).
// fuzz-cap: 4096
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "display/ColorText.h"
#include "display/LoadIconRenderer.h"
#include "sim/SimPlatform.h"

namespace {

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::uint8_t Byte() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
    std::int32_t Int() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
        return static_cast<std::int32_t>(v);
    }
    kx::Text Text() {
        const std::size_t length = Byte() % 16;
        kx::Text text;
        for (std::size_t i = 0; i < length; ++i) {
            // Mostly the characters colour texts are made of, now and then any.
            const std::uint8_t b = Byte();
            static const char16_t kAlphabet[] = u" +-$xX0123456789aAfFgclBueWhit";
            text.push_back(b < 224 ? kAlphabet[b % 30] : static_cast<char16_t>(b * 257));
        }
        return text;
    }
};

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in{data, size};
    kx::sim::SimPlatform sim;
    kx::IconRenderer renderer(sim.windows, sim.drawing);
    for (int call = 0; call < 4 && in.size > 0; ++call) {
        const int cx = static_cast<std::int8_t>(in.Byte());
        const int cy = static_cast<std::int8_t>(in.Byte());
        sim.world.metrics[kx::w32::kSmCxSmIcon] = cx;
        sim.world.metrics[kx::w32::kSmCySmIcon] = cy;
        const kx::Text background = in.Text();
        const kx::Text grid = in.Text();
        const kx::Text bar = in.Text();
        const std::int32_t percent = in.Int();

        const kx::KHandle icon = renderer.RenderLoadIcon(background, grid, bar, percent);
        const kx::RendererState& state = renderer.State();
        Check(!state.RenderBusy);
        Check(state.GridPhase >= 1 && state.GridPhase <= 3);
        Check(state.LoadHistory[0] == 63 && state.LoadHistory[63] == 63);
        if (icon != 0) {
            Check(kx::ParseColorText(background) && kx::ParseColorText(grid) && kx::ParseColorText(bar));
            const auto& picture = sim.world.icons.at(icon);
            const int w = picture.width;
            const int h = picture.height;
            Check(w >= 1 && w <= 64 && h >= 1 && h <= 64);
            Check(picture.colorRefs[0] == kx::kFrameUpperColor);
            if (w >= 3 && h >= 3) {
                for (int x = 1; x <= w - 2; ++x) {
                    const std::int32_t top = state.LoadHistory[static_cast<std::size_t>(x)];
                    Check(top == 63 || (top >= -1 && top <= 62));  // -1: a picture one row high
                }
            }
        }
        renderer.FreeLoadIcon();
        Check(sim.world.handles.OpenCount() == 0);
    }
    return 0;
}
