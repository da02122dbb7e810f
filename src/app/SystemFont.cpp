#include "app/SystemFont.h"

#include <cstdlib>

namespace kx {

std::int32_t MulDiv(std::int32_t number, std::int32_t numerator, std::int32_t divisor) {
    if (divisor == 0) return -1;
    const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    const bool negative = (product < 0) != (divisor < 0);
    const std::int64_t a = std::llabs(product);
    const std::int64_t b = std::llabs(static_cast<std::int64_t>(divisor));
    std::int64_t q = (a + b / 2) / b;
    if (negative) q = -q;
    if (q > INT32_MAX || q < INT32_MIN) return -1;
    return static_cast<std::int32_t>(q);
}

int FormFont::Size() const { return -MulDiv(height, 72, pixelsPerInch > 0 ? pixelsPerInch : 96); }

void FormFont::SetSize(int points) { height = -MulDiv(points, pixelsPerInch > 0 ? pixelsPerInch : 96, 72); }

void ApplySystemFont(FormFont& formFont, const std::vector<ComponentFont>& components) {
    if (formFont.Size() > kLargestFormFontSize) formFont.SetSize(kLargestFormFontSize);
    for (const ComponentFont& component : components) {
        if (component.font == nullptr || component.parentFont) continue;
        component.font->face = formFont.face;
        if (component.font->Size() < formFont.Size()) component.font->SetSize(formFont.Size());
    }
}

}  // namespace kx
