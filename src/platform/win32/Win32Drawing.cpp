#include "platform/win32/Win32Drawing.h"

#include <cstring>
#include <vector>

#include "platform/win32/Win32Handles.h"

namespace kx {

using win32::FromKHandle;
using win32::ToKHandle;

namespace {

// Deletes a bitmap on every way out.
class OwnedBitmap {
public:
    explicit OwnedBitmap(HBITMAP bitmap) : bitmap_(bitmap) {}
    ~OwnedBitmap() {
        if (bitmap_ != nullptr) ::DeleteObject(bitmap_);
    }
    OwnedBitmap(const OwnedBitmap&) = delete;
    OwnedBitmap& operator=(const OwnedBitmap&) = delete;
    HBITMAP get() const { return bitmap_; }

private:
    HBITMAP bitmap_;
};

constexpr int kMaxSide = 256;

constexpr std::uint32_t ScreenPixel(std::uint32_t c) {
    // 0x00BBGGRR to B, G, R, A in memory, opaque.
    return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

HBITMAP MakeColorBitmap(int width, int height, void** bits) {
    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    *bits = nullptr;
    return ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

}  // namespace

KHandle Win32Drawing::CreateIconFromPixels(int width, int height, const std::uint32_t* colorRefs,
                                           const std::uint8_t* alpha) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || colorRefs == nullptr) return 0;
    if (alpha == nullptr) {
        if (width != opaqueWidth_ || height != opaqueHeight_ || !opaqueColor_ || !opaqueMask_) {
            opaqueColor_.reset();
            opaqueMask_.reset();
            opaqueWidth_ = opaqueHeight_ = 0;
            void* bits = nullptr;
            opaqueColor_ = win32::OwnGdi(gdi_, MakeColorBitmap(width, height, &bits));
            // The mask of an opaque icon: every bit 0, rows padded to 16 bits.
            const std::vector<std::uint8_t> mask(((static_cast<std::size_t>(width) + 15) / 16) * 2 *
                                                     static_cast<std::size_t>(height),
                                                 0);
            opaqueMask_ = win32::OwnGdi(gdi_, ::CreateBitmap(width, height, 1, 1, mask.data()));
            if (!opaqueColor_ || !opaqueMask_ || bits == nullptr) {
                opaqueColor_.reset();
                opaqueMask_.reset();
                return 0;
            }
            opaquePixels_ = static_cast<std::uint32_t*>(bits);
            opaqueWidth_ = width;
            opaqueHeight_ = height;
        }
        const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        for (std::size_t i = 0; i < count; ++i) opaquePixels_[i] = ScreenPixel(colorRefs[i]);
        ::GdiFlush();  // the pixels are in the bitmap before the icon copies it
        ICONINFO icon;
        std::memset(&icon, 0, sizeof icon);
        icon.fIcon = TRUE;
        icon.hbmMask = win32::FromKHandle<HBITMAP>(opaqueMask_.get());
        icon.hbmColor = win32::FromKHandle<HBITMAP>(opaqueColor_.get());
        return ToKHandle(::CreateIconIndirect(&icon));
    }
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);

    // The colour image: 32 bits per pixel, rows from the top, each pixel
    // B, G, R, A in memory. Transparent pixels are black so that the mask
    // alone shows them on displays that ignore the alpha channel.
    void* bits = nullptr;
    OwnedBitmap color(MakeColorBitmap(width, height, &bits));
    if (color.get() == nullptr || bits == nullptr) return 0;
    auto* pixels = static_cast<std::uint32_t*>(bits);

    // The mask: one bit per pixel, 1 for transparent, rows padded to 16 bits.
    const std::size_t maskStride = ((w + 15) / 16) * 2;
    std::vector<std::uint8_t> mask(maskStride * h, 0);

    for (std::size_t y = 0; y < h; ++y) {
        for (std::size_t x = 0; x < w; ++x) {
            const std::size_t i = y * w + x;
            if (alpha != nullptr && alpha[i] == 0) {
                pixels[i] = 0;
                std::uint8_t& maskByte = mask[y * maskStride + x / 8];
                maskByte = static_cast<std::uint8_t>(maskByte | (0x80u >> (x % 8)));
                continue;
            }
            pixels[i] = ScreenPixel(colorRefs[i]);
        }
    }
    OwnedBitmap maskBitmap(::CreateBitmap(width, height, 1, 1, mask.data()));
    if (maskBitmap.get() == nullptr) return 0;

    ICONINFO icon;
    std::memset(&icon, 0, sizeof icon);
    icon.fIcon = TRUE;
    icon.hbmMask = maskBitmap.get();
    icon.hbmColor = color.get();
    // The icon holds copies of both bitmaps; ours go when this returns.
    return ToKHandle(::CreateIconIndirect(&icon));
}

KHandle Win32Drawing::CopyIcon(KHandle icon) {
    if (icon == 0) return 0;
    return ToKHandle(::CopyIcon(FromKHandle<HICON>(icon)));
}

bool Win32Drawing::DestroyIcon(KHandle icon) {
    if (icon == 0) return false;
    return ::DestroyIcon(FromKHandle<HICON>(icon)) != FALSE;
}

KHandle Win32Drawing::LoadApplicationIcon() {
    return ToKHandle(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON,
                                  ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

}  // namespace kx
