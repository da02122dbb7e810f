// Icons from the program's own pixels, and the program's application icon.
#pragma once

#include "platform/DrawingApi.h"

namespace kx {

class Win32Drawing : public IDrawing {
public:
    // A 32-bit top-down device-independent bitmap filled with the pixels and a
    // monochrome mask, made into an icon with CreateIconIndirect.
    KHandle CreateIconFromPixels(int width, int height, const std::uint32_t* colorRefs,
                                 const std::uint8_t* alpha) override;
    KHandle CopyIcon(KHandle icon) override;
    bool DestroyIcon(KHandle icon) override;
    // Icon resource 1 of the program at the small-icon size; shared, so it
    // is never destroyed.
    KHandle LoadApplicationIcon() override;
};

}  // namespace kx
