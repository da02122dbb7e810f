// The graph icon: a dark two-tone frame around a coloured field, a grid whose
// vertical lines scroll one column to the left per drawing, and a bar graph
// of the recent processor load, one column per drawing, the newest at the
// right edge.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "display/ColorText.h"
#include "platform/DrawingApi.h"
#include "platform/Types.h"
#include "platform/WindowApi.h"

namespace kx {

// The frame greys: rows 0 to 9 of the frame, and rows 10 and below.
constexpr std::uint32_t kFrameUpperColor = 0x003A3837;
constexpr std::uint32_t kFrameLowerColor = 0x002C2B29;
constexpr int kFrameUpperRows = 10;

// The largest picture side; larger small-icon metrics give a 64 x 64 picture.
constexpr int kMaxIconSide = 64;

// The height in pixels of a bar for percent at picture height H, before the
// limits of the picture: percent / 100 and then that times (H - 1), each
// rounded to a 64-bit significand as the x87 extended format does, and the
// product rounded to a whole number, ties to even. Computed exactly in
// integers, so every build and compiler gives the same bars.
std::int64_t LoadBarHeight(std::int32_t percent, int height);

// The top row of that bar: (H - 1) - height, raised to 1 and then lowered to H - 2.
std::int32_t LoadBarTop(std::int32_t percent, int height);

// What a colour value is drawn as, 0x00BBGGRR: a negative value is the
// current system colour of its lowest byte; a value with flag bits in its top
// byte (clNone, clDefault and the like) is drawn as its red, green and blue
// bytes, as a device without a palette draws such a colour reference.
std::uint32_t ResolveColor(TColor color, IWindows& windows);

struct RendererState {
    // Slot x holds the top row of the bar of picture column x; 63 (no bar) at start.
    std::array<std::int32_t, 64> LoadHistory;
    // Slot x holds the row of the busiest processor's load in picture column
    // x (BusiestCore); 63 where no such reading was taken. Moves with LoadHistory.
    std::array<std::int32_t, 64> BusiestHistory;
    // Column offset of the vertical grid lines: 3, 2, 1, 3, ...
    std::int32_t GridPhase = 3;
    bool RenderBusy = false;

    RendererState() {
        LoadHistory.fill(63);
        BusiestHistory.fill(63);
    }
};

// The busiest processor's row of the newest column (BusiestCore): its load
// in percent, nothing when none was measured, and the colour text of the row.
struct BusiestRow {
    std::optional<std::int32_t> percent;
    Text colorText;
};

class IconSizer;

class IconRenderer {
public:
    // sizer: where the picture's size comes from; without one, the system's
    // small-icon metrics at every drawing.
    IconRenderer(IWindows& windows, IDrawing& drawing, IconSizer* sizer = nullptr)
        : windows_(windows), drawing_(drawing), sizer_(sizer) {}
    IconRenderer(const IconRenderer&) = delete;
    IconRenderer& operator=(const IconRenderer&) = delete;

    // Draws the next picture with the newest reading and makes it an icon,
    // which the renderer keeps (LastLoadIcon) until FreeLoadIcon. Returns 0
    // when a colour text does not convert, the platform fails, or a drawing
    // is already under way on this thread; never fails otherwise.
    // With busiest, each column also shows the busiest processor's load of
    // its second as one pixel row of that colour, at the height the bar's
    // scale gives it (the bar's top row where they are equal); without it,
    // the graph alone, and the newest column holds no such reading.
    KHandle RenderLoadIcon(const Text& backgroundText, const Text& gridText, const Text& barText,
                           std::int32_t percent, const BusiestRow* busiest = nullptr);
    // Releases LastLoadIcon, if there is one.
    void FreeLoadIcon() noexcept;
    // Hands LastLoadIcon over to the caller, who releases it from then on.
    OwnedIcon TakeLoadIcon() noexcept { return std::move(lastLoadIcon_); }

    const RendererState& State() const { return state_; }
    KHandle LastLoadIcon() const { return lastLoadIcon_.get(); }

    // The latest picture drawn (also by a call that failed after drawing),
    // 0x00BBGGRR row by row from the top.
    const std::vector<std::uint32_t>& Picture() const { return picture_; }
    int PictureWidth() const { return width_; }
    int PictureHeight() const { return height_; }

private:
    KHandle Render(const Text& backgroundText, const Text& gridText, const Text& barText, std::int32_t percent,
                   const BusiestRow* busiest);
    void PictureSize(int* width, int* height);
    void DrawField(std::uint32_t background, std::uint32_t grid);
    void DrawBars(std::uint32_t bar);
    void DrawBusiestRows(std::uint32_t color);

    IWindows& windows_;
    IDrawing& drawing_;
    IconSizer* sizer_;
    RendererState state_;
    OwnedIcon lastLoadIcon_;
    std::vector<std::uint32_t> picture_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace kx
