#include "display/IconSize.h"

#include "display/LoadIconRenderer.h"

namespace kx {

bool IconSizer::FindEntries() {
    if (!entriesSought_) {
        entriesSought_ = true;
        user32_ = OwnedLibrary(libraries_, libraries_.LoadLibraryW(u"user32.dll"));
        if (user32_) {
            dpiForWindow_ = libraries_.GetProcAddress(user32_.get(), "GetDpiForWindow");
            metricsForDpi_ = libraries_.GetProcAddress(user32_.get(), "GetSystemMetricsForDpi");
        }
    }
    return dpiForWindow_ != 0 && metricsForDpi_ != 0;
}

void IconSizer::PictureSize(int* width, int* height) {
    if (!known_) {
        int w = 0;
        int h = 0;
        bool keep = true;
        const Text taskbarClass = u"Shell_TrayWnd";
        const Hwnd taskbar = FindEntries() ? windows_.FindWindowW(&taskbarClass, nullptr) : 0;
        const std::uint32_t dpi = taskbar != 0 ? windows_.CallGetDpiForWindow(dpiForWindow_, taskbar) : 0;
        if (dpi != 0) {
            w = windows_.CallGetSystemMetricsForDpi(metricsForDpi_, w32::kSmCxSmIcon, dpi);
            h = windows_.CallGetSystemMetricsForDpi(metricsForDpi_, w32::kSmCySmIcon, dpi);
        }
        if (w < 1 || h < 1) {
            // No taskbar yet (asked again next time), or a system without
            // the calls: the system's small-icon metrics.
            keep = dpiForWindow_ == 0 || metricsForDpi_ == 0;
            w = windows_.GetSystemMetrics(w32::kSmCxSmIcon);
            h = w > kMaxIconSide ? kMaxIconSide : windows_.GetSystemMetrics(w32::kSmCySmIcon);
        }
        if (w > kMaxIconSide || h > kMaxIconSide) w = h = kMaxIconSide;
        width_ = w;
        height_ = h;
        known_ = keep && w >= 1 && h >= 1;
    }
    *width = width_;
    *height = height_;
}

}  // namespace kx
