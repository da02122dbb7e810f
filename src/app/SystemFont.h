// The form's font: the desktop's icon-title font, kept at 9 points at most,
// and handed on to the components that carry a font of their own.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Types.h"

namespace kx {

// A font as a form keeps it: the face and the LOGFONT height in pixels
// (negative: the character height; positive: the cell height), with the
// screen's pixels per inch by which the height converts to points.
struct FormFont {
    Text face;
    std::int32_t height = 0;
    int pixelsPerInch = 96;

    // Points: -height * 72 / pixelsPerInch, rounded (a cell height gives a
    // negative size, as the toolkit's fonts do).
    int Size() const;
    void SetSize(int points);
};

// A component's font; parentFont means it follows its parent and has none of its own.
struct ComponentFont {
    FormFont* font = nullptr;
    bool parentFont = true;
};

constexpr int kLargestFormFontSize = 9;

// Limits the form's font to 9 points; then every component with a font of
// its own takes the form's face, and at least the form's size.
void ApplySystemFont(FormFont& formFont, const std::vector<ComponentFont>& components);

// MulDiv as the platform rounds it: the exact quotient, halves away from zero;
// -1 when divisor is 0.
std::int32_t MulDiv(std::int32_t number, std::int32_t numerator, std::int32_t divisor);

}  // namespace kx
