// gdi32 and user32 icons, as the program calls them. Pictures are drawn by
// the program into a pixel buffer and handed over whole; the platform turns
// them into icons.
#pragma once

#include <cstdint>

#include "platform/Owned.h"
#include "platform/Types.h"

namespace kx {

class IDrawing {
public:
    virtual ~IDrawing() = default;
    // Makes an icon of width x height from colours laid out 0x00BBGGRR, row by
    // row from the top. alpha: null for a fully opaque icon, else one byte per
    // pixel, 0 meaning transparent. Returns 0 on failure.
    virtual KHandle CreateIconFromPixels(int width, int height, const std::uint32_t* colorRefs,
                                         const std::uint8_t* alpha) = 0;
    virtual KHandle CopyIcon(KHandle icon) = 0;
    virtual bool DestroyIcon(KHandle icon) = 0;
    // The program's own application icon (not to be destroyed).
    virtual KHandle LoadApplicationIcon() = 0;
};

inline void DestroyIconHandle(IDrawing& api, KHandle icon) { api.DestroyIcon(icon); }
using OwnedIcon = Owned<IDrawing, DestroyIconHandle>;

}  // namespace kx
