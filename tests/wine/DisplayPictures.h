// Finding the graph icon on the screen and reading its picture, for the
// integration tests of the load display.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "WineTestSupport.h"

namespace kxdisplay {

// Screen pixels are 0x00RRGGBB.
constexpr std::uint32_t kLightFrame = 0x0037383A;
constexpr std::uint32_t kDarkFrame = 0x00292B2C;

struct Colours {
    std::uint32_t field;
    std::uint32_t grid;
    std::uint32_t bar;
};
constexpr Colours kWindows7Colours = {0x00FFFFFF, 0x00808080, 0x000080FF};
constexpr Colours kClassicColours = {0x000000FF, 0x00008080, 0x00FFFFFF};

// The graph icon as it stands on the screen: its top-left pixel and side.
struct IconOnScreen {
    int left = 0;
    int top = 0;
    int side = 0;
};

// A square whose frame is the graph's: the top row and rows 0 to 9 of both
// sides in the lighter grey, the rest of the sides and the bottom row in the
// darker one.
inline bool FrameAt(const kxtest::Pixels& s, int x, int y, int side) {
    for (int i = 0; i < side; ++i) {
        if (s.At(x + i, y) != kLightFrame) return false;
        const std::uint32_t sideColour = i < 10 ? kLightFrame : kDarkFrame;
        if (s.At(x, y + i) != sideColour || s.At(x + side - 1, y + i) != sideColour) return false;
        if (side > 10 && i > 0 && s.At(x + i, y + side - 1) != kDarkFrame) return false;
    }
    return true;
}

// The graph icon whose interior pixel (1, 1) is in one of the given colours
// (so that the empty frame shown at start is not taken for it).
inline std::optional<IconOnScreen> FindGraphIcon(const kxtest::Pixels& s, const Colours& colours) {
    const int right = s.left + s.width;
    const int bottom = s.top + s.height;
    for (int y = s.top; y < bottom; ++y) {
        for (int x = s.left; x < right; ++x) {
            if (s.At(x, y) != kLightFrame) continue;
            int run = 0;
            while (x + run < right && s.At(x + run, y) == kLightFrame) ++run;
            if (run >= 11 && FrameAt(s, x, y, run)) {
                const std::uint32_t inside = s.At(x + 1, y + 1);
                if (inside == colours.field || inside == colours.grid || inside == colours.bar) {
                    return IconOnScreen{x, y, run};
                }
            }
            x += run - 1;
        }
    }
    return std::nullopt;
}

inline std::optional<IconOnScreen> FindGraphIconNow(const Colours& colours) {
    return FindGraphIcon(kxtest::CaptureScreen(), colours);
}

// The top row of the bar in picture column x (the row below the picture when
// the column holds no bar).
inline int BarTop(const kxtest::Pixels& s, const IconOnScreen& icon, int x, const Colours& colours) {
    int top = icon.side - 1;
    while (top > 1 && s.At(icon.left + x, icon.top + top - 1) == colours.bar) --top;
    return top;
}

// Checks every pixel of the picture against the graph's rules: the frame;
// horizontal grid rows on every third row; vertical grid columns every third
// column; bars standing on row side - 2 and rising without a gap; the field
// everywhere else. Returns an empty text when all hold, else what did not.
inline std::string CheckPicture(const kxtest::Pixels& s, const IconOnScreen& icon, const Colours& colours) {
    std::ostringstream problems;
    const int n = icon.side;
    auto at = [&](int x, int y) { return s.At(icon.left + x, icon.top + y); };
    if (!FrameAt(s, icon.left, icon.top, n)) problems << "frame; ";
    // The grid columns: interior columns whose row 1 is in the grid colour.
    std::set<int> gridColumns;
    for (int x = 1; x < n - 1; ++x) {
        if (at(x, 1) == colours.grid) gridColumns.insert(x);
    }
    if (gridColumns.empty()) problems << "no grid column; ";
    for (int x : gridColumns) {
        if ((x - *gridColumns.begin()) % 3 != 0) problems << "grid column " << x << "; ";
    }
    if (!gridColumns.empty() && *gridColumns.begin() > 3) {
        problems << "first grid column " << *gridColumns.begin() << "; ";
    }
    if (at(n - 2, n - 2) != colours.bar) problems << "no bar in the newest column; ";
    for (int x = 1; x < n - 1; ++x) {
        bool inBar = false;
        for (int y = 1; y < n - 1; ++y) {
            const std::uint32_t pixel = at(x, y);
            if (pixel == colours.bar && colours.bar != colours.field && colours.bar != colours.grid) {
                inBar = true;
                continue;
            }
            if (inBar) {
                problems << "gap in the bar at " << x << "," << y << "; ";
                break;
            }
            const bool grid = (y % 3 == 0) || gridColumns.count(x) != 0;
            const std::uint32_t expected = grid ? colours.grid : colours.field;
            if (pixel != expected) {
                problems << "pixel " << x << "," << y << " is " << std::hex << pixel << std::dec << "; ";
                break;
            }
        }
    }
    return problems.str();
}

}  // namespace kxdisplay
