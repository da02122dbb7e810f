#include "display/LoadIconRenderer.h"

#include <algorithm>

#include "display/IconSize.h"

namespace kx {

namespace {

// ---- The bar height in x87 extended precision, emulated exactly ----------

// An unsigned 128-bit integer, enough for every intermediate of the bar height.
struct U128 {
    std::uint64_t hi = 0;
    std::uint64_t lo = 0;
};

int BitLength(const U128& v) {
    std::uint64_t word = v.hi != 0 ? v.hi : v.lo;
    int length = v.hi != 0 ? 64 : 0;
    while (word != 0) {
        ++length;
        word >>= 1;
    }
    return length;
}

bool Bit(const U128& v, int index) {
    return index >= 64 ? ((v.hi >> (index - 64)) & 1u) != 0 : ((v.lo >> index) & 1u) != 0;
}

// True when any bit below index is set.
bool AnyBelow(const U128& v, int index) {
    if (index <= 0) return false;
    if (index >= 64) return v.lo != 0 || (index > 64 && (v.hi & ((~0ull) >> (128 - index))) != 0);
    return (v.lo & ((1ull << index) - 1)) != 0;
}

// 0 < shift < 128.
U128 ShiftRight(const U128& v, int shift) {
    if (shift >= 64) return U128{0, v.hi >> (shift - 64)};
    return U128{v.hi >> shift, (v.lo >> shift) | (v.hi << (64 - shift))};
}

// 0 < shift < 128.
U128 ShiftLeft(const U128& v, int shift) {
    if (shift >= 64) return U128{v.lo << (shift - 64), 0};
    return U128{(v.hi << shift) | (v.lo >> (64 - shift)), v.lo << shift};
}

U128 Multiply(std::uint64_t a, std::uint32_t b) {
    const std::uint64_t low = (a & 0xFFFFFFFFu) * b;
    const std::uint64_t high = (a >> 32) * b;  // < 2^64
    U128 result;
    result.lo = low + (high << 32);
    result.hi = (high >> 32) + (result.lo < low ? 1 : 0);
    return result;
}

// Schoolbook division by a small divisor, 32 bits at a time.
U128 Divide(const U128& v, std::uint32_t divisor, std::uint32_t* remainder) {
    const std::uint32_t limbs[4] = {static_cast<std::uint32_t>(v.hi >> 32), static_cast<std::uint32_t>(v.hi),
                                    static_cast<std::uint32_t>(v.lo >> 32), static_cast<std::uint32_t>(v.lo)};
    std::uint32_t quotient[4] = {};
    std::uint64_t rest = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint64_t part = (rest << 32) | limbs[i];
        quotient[i] = static_cast<std::uint32_t>(part / divisor);
        rest = part % divisor;
    }
    *remainder = static_cast<std::uint32_t>(rest);
    return U128{(static_cast<std::uint64_t>(quotient[0]) << 32) | quotient[1],
                (static_cast<std::uint64_t>(quotient[2]) << 32) | quotient[3]};
}

// A positive value significand * 2^exponent with a 64-bit significand whose
// top bit is set, as the x87 extended format holds it; significand 0 is zero.
struct Extended {
    std::uint64_t significand = 0;
    int exponent = 0;
};

// Rounds value * 2^exponent, plus a positive amount below 2^exponent when
// inexact is set, to 64 significant bits, ties to even.
Extended RoundToExtended(const U128& value, int exponent, bool inexact) {
    const int length = BitLength(value);
    if (length == 0) return Extended{};
    if (length <= 64) {
        // Exact (inexact never comes with so short a value here).
        const int shift = 64 - length;
        return Extended{shift == 0 ? value.lo : value.lo << shift, exponent - shift};
    }
    const int drop = length - 64;
    std::uint64_t significand = ShiftRight(value, drop).lo;
    const bool half = Bit(value, drop - 1);
    const bool rest = inexact || AnyBelow(value, drop - 1);
    int scale = drop;
    if (half && (rest || (significand & 1u) != 0)) {
        ++significand;
        if (significand == 0) {  // carried out of the top bit
            significand = 1ull << 63;
            ++scale;
        }
    }
    return Extended{significand, exponent + scale};
}

// Rounds an extended value to a whole number, ties to even.
std::int64_t RoundToWhole(const Extended& value) {
    if (value.significand == 0) return 0;
    if (value.exponent >= 0) return INT64_MAX;  // at least 2^63: beyond every picture
    const int shift = -value.exponent;
    if (shift > 64) return 0;  // below one half
    if (shift == 64) {
        // In [0.5, 1): exactly one half rounds to the even 0.
        return (value.significand & ~(1ull << 63)) != 0 ? 1 : 0;
    }
    std::uint64_t whole = value.significand >> shift;
    const bool half = ((value.significand >> (shift - 1)) & 1u) != 0;
    const bool rest = (value.significand & ((1ull << (shift - 1)) - 1)) != 0;
    if (half && (rest || (whole & 1u) != 0)) ++whole;
    return static_cast<std::int64_t>(whole);
}

// ---- Drawing --------------------------------------------------------------

// Restores RenderBusy on every way out of a drawing.
class BusyFlag {
public:
    explicit BusyFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyFlag() { flag_ = false; }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

private:
    bool& flag_;
};

bool IsGridColumn(int x, std::int32_t gridPhase) {
    const int offset = x - gridPhase;
    return offset >= 0 && offset % 3 == 0 && offset / 3 <= 21;
}

bool IsGridRow(int y) { return y >= 3 && y % 3 == 0 && y / 3 <= 21; }

}  // namespace

std::int64_t LoadBarHeight(std::int32_t percent, int height) {
    if (percent == 0 || height <= 1) return 0;
    const bool negative = percent < 0;
    const std::uint32_t magnitude =
        negative ? 0u - static_cast<std::uint32_t>(percent) : static_cast<std::uint32_t>(percent);

    // q = percent / 100: the quotient of magnitude * 2^90 by 100 carries far
    // more than 64 bits, and a non-zero remainder tells the rounding that the
    // true value lies above it.
    constexpr int kScale = 90;
    std::uint32_t remainder = 0;
    const U128 quotient = Divide(ShiftLeft(U128{0, magnitude}, kScale), 100, &remainder);
    const Extended q = RoundToExtended(quotient, -kScale, remainder != 0);

    // r = q * (H - 1): at most 70 bits, exact before its rounding.
    const auto factor = static_cast<std::uint32_t>(height - 1);
    const Extended r = RoundToExtended(Multiply(q.significand, factor), q.exponent, false);

    const std::int64_t whole = RoundToWhole(r);
    return negative ? -whole : whole;
}

std::int32_t LoadBarTop(std::int32_t percent, int height) {
    // Any height beyond the picture's ends up at one of its limits.
    const std::int64_t barHeight = std::clamp<std::int64_t>(LoadBarHeight(percent, height), -65536, 65536);
    std::int64_t top = (height - 1) - barHeight;
    if (top < 1) top = 1;
    if (top > height - 2) top = height - 2;
    return static_cast<std::int32_t>(top);
}

std::uint32_t ResolveColor(TColor color, IWindows& windows) {
    const auto reference = static_cast<std::uint32_t>(color);
    if (color < 0) return windows.GetSysColor(static_cast<int>(reference & 0xFFu)) & 0x00FFFFFFu;
    return reference & 0x00FFFFFFu;
}

KHandle IconRenderer::RenderLoadIcon(const Text& backgroundText, const Text& gridText, const Text& barText,
                                     std::int32_t percent, const BusiestRow* busiest) {
    // A nested call (a message handled while a drawing is under way) must not
    // disturb the drawing in progress.
    if (state_.RenderBusy) return 0;
    BusyFlag busy(state_.RenderBusy);
    try {
        return Render(backgroundText, gridText, barText, percent, busiest);
    } catch (...) {
        return 0;
    }
}

void IconRenderer::PictureSize(int* width, int* height) {
    if (sizer_ != nullptr) {
        sizer_->PictureSize(width, height);
        return;
    }
    // Read at every drawing so that a change of the display's scaling shows at the next one.
    *width = windows_.GetSystemMetrics(w32::kSmCxSmIcon);
    if (*width > kMaxIconSide) {
        *width = *height = kMaxIconSide;
    } else {
        *height = windows_.GetSystemMetrics(w32::kSmCySmIcon);
        if (*height > kMaxIconSide) *width = *height = kMaxIconSide;
    }
}

KHandle IconRenderer::Render(const Text& backgroundText, const Text& gridText, const Text& barText,
                             std::int32_t percent, const BusiestRow* busiest) {
    int width = 0;
    int height = 0;
    PictureSize(&width, &height);
    if (width < 1 || height < 1) return 0;  // no picture can be made

    // Field and grid. A text that does not convert changes nothing.
    const std::optional<TColor> background = ParseColorText(backgroundText);
    if (!background) return 0;
    const std::optional<TColor> grid = ParseColorText(gridText);
    if (!grid) return 0;
    width_ = width;
    height_ = height;
    picture_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    DrawField(ResolveColor(*background, windows_), ResolveColor(*grid, windows_));

    // Newest reading, in the two rightmost interior columns after the scroll.
    // The busiest processor's reading moves with it, as the same kind of row.
    const std::int32_t busiestTop =
        busiest != nullptr && busiest->percent ? LoadBarTop(*busiest->percent, height) : 63;
    const auto push = [width](std::array<std::int32_t, 64>& history, std::int32_t newest) {
        if (width - 2 >= 1) history[static_cast<std::size_t>(width - 2)] = newest;
        for (int i = 1; i <= width - 3; ++i) {
            history[static_cast<std::size_t>(i)] = history[static_cast<std::size_t>(i + 1)];
        }
    };
    push(state_.LoadHistory, LoadBarTop(percent, height));
    push(state_.BusiestHistory, busiestTop);

    // Bars. A bar text that does not convert leaves the history moved on.
    const std::optional<TColor> bar = ParseColorText(barText);
    if (!bar) return 0;
    DrawBars(ResolveColor(*bar, windows_));
    if (busiest != nullptr) {
        const std::optional<TColor> row = ParseColorText(busiest->colorText);
        if (!row) return 0;
        DrawBusiestRows(ResolveColor(*row, windows_));
    }

    // A fully opaque icon of the picture.
    const KHandle icon = drawing_.CreateIconFromPixels(width, height, picture_.data(), nullptr);
    if (icon == 0) return 0;
    lastLoadIcon_ = OwnedIcon(drawing_, icon);  // an icon not yet freed by the caller is released here

    state_.GridPhase -= 1;
    if (state_.GridPhase < 1) state_.GridPhase = 3;
    return icon;
}

void IconRenderer::DrawField(std::uint32_t background, std::uint32_t grid) {
    const int w = width_;
    const int h = height_;
    for (int y = 0; y < h; ++y) {
        std::uint32_t* row = picture_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        const std::uint32_t frame = y < kFrameUpperRows ? kFrameUpperColor : kFrameLowerColor;
        if (y == 0 || y == h - 1) {
            std::fill(row, row + w, frame);
            continue;
        }
        row[0] = frame;
        row[w - 1] = frame;
        const bool gridRow = IsGridRow(y);
        for (int x = 1; x < w - 1; ++x) {
            row[x] = gridRow || IsGridColumn(x, state_.GridPhase) ? grid : background;
        }
    }
}

void IconRenderer::DrawBars(std::uint32_t bar) {
    // One-pixel lines from (x, top) to (x, H - 1), the end point excluded:
    // rows top to H - 2. A top at or below H - 1 (a reading of a larger
    // picture, or no reading yet) colours nothing inside the picture.
    const int w = width_;
    const int h = height_;
    for (int x = w - 2; x >= 1; --x) {
        const int top = std::max(state_.LoadHistory[static_cast<std::size_t>(x)], 0);
        for (int y = top; y <= h - 2; ++y) {
            picture_[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] = bar;
        }
    }
}

void IconRenderer::DrawBusiestRows(std::uint32_t color) {
    // One pixel per column, over the bar; a column without a reading, or
    // with a row of a larger picture, has none inside this one.
    const int w = width_;
    const int h = height_;
    for (int x = 1; x <= w - 2; ++x) {
        const int row = state_.BusiestHistory[static_cast<std::size_t>(x)];
        if (row < 1 || row > h - 2) continue;
        picture_[static_cast<std::size_t>(row) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] = color;
    }
}

void IconRenderer::FreeLoadIcon() noexcept {
    try {
        lastLoadIcon_.reset();
    } catch (...) {
        // A release that fails leaves nothing to do.
    }
}

}  // namespace kx
