// Colour values and the colour texts the settings BackgroundColor, GridColor
// and BarColor hold.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/Types.h"

namespace kx {

// A colour value: 0x00BBGGRR for a plain colour, negative for the system
// colour whose GetSysColor index is the lowest byte.
using TColor = std::int32_t;

constexpr TColor kClNone = 0x1FFFFFFF;
constexpr TColor kClDefault = 0x20000000;

struct ColorName {
    const char16_t* text;
    TColor value;
};

// The 52 colour names a colour text may hold, compared without regard to the
// case of A to Z.
extern const std::array<ColorName, 52> ColorNameTable;

// A colour name of ColorNameTable, or a whole number: leading spaces, an
// optional sign, then decimal digits (-2147483648 to 2147483647) or a
// hexadecimal prefix ("$", "x", "X", "0x", "0X") and at most eight
// significant hexadecimal digits, taken as a signed 32-bit pattern that a
// "-" negates. Nothing may follow the digits. Anything else yields nothing.
std::optional<TColor> ParseColorText(const Text& text);

}  // namespace kx
