// Icons from the program's own pixels, and the program's application icon.
#pragma once

#include <cstdint>

#include "platform/DrawingApi.h"
#include "platform/win32/Win32Gdi.h"

namespace kx {

class Win32Drawing : public IDrawing {
public:
    // A 32-bit top-down device-independent bitmap filled with the pixels and a
    // monochrome mask, made into an icon with CreateIconIndirect. A fully
    // opaque picture (the graph, once a second) is drawn into a bitmap and
    // mask kept from the last one of its size, so no GDI object is made anew.
    KHandle CreateIconFromPixels(int width, int height, const std::uint32_t* colorRefs,
                                 const std::uint8_t* alpha) override;
    KHandle CopyIcon(KHandle icon) override;
    bool DestroyIcon(KHandle icon) override;
    // Icon resource 1 of the program at the small-icon size; shared, so it
    // is never destroyed.
    KHandle LoadApplicationIcon() override;

private:
    // The bitmaps of the last opaque picture, kept for the next one of the same size.
    win32::GdiObjects gdi_;
    win32::OwnedGdiObject opaqueColor_;
    win32::OwnedGdiObject opaqueMask_;
    std::uint32_t* opaquePixels_ = nullptr;
    int opaqueWidth_ = 0;
    int opaqueHeight_ = 0;
};

}  // namespace kx
