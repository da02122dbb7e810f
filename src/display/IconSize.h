// The side of the graph picture: the small-icon size at the scale of the
// monitor the taskbar is on. A per-monitor-aware process's GetSystemMetrics
// keeps the scale of the sign-in, so the taskbar's own scale is asked
// (GetDpiForWindow of "Shell_TrayWnd", GetSystemMetricsForDpi), where
// user32 has both (Windows 10 1607 and later); elsewhere GetSystemMetrics
// answers. The size is kept until the scale may have changed.
#pragma once

#include "platform/LibraryApi.h"
#include "platform/WindowApi.h"

namespace kx {

class IconSizer {
public:
    IconSizer(IWindows& windows, ILibraries& libraries) : windows_(windows), libraries_(libraries) {}

    // The picture's width and height (each at most 64; larger metrics give
    // 64 x 64), as the next drawing is to have them. Never fails.
    void PictureSize(int* width, int* height);
    // The display's scale, the taskbar or the monitor may have changed
    // (WM_DPICHANGED, WM_SETTINGCHANGE, WM_DISPLAYCHANGE, "TaskbarCreated"):
    // the next drawing asks again.
    void ScaleMayHaveChanged() { known_ = false; }

private:
    bool FindEntries();

    IWindows& windows_;
    ILibraries& libraries_;
    OwnedLibrary user32_;
    ProcAddress dpiForWindow_ = 0;
    ProcAddress metricsForDpi_ = 0;
    bool entriesSought_ = false;
    bool known_ = false;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace kx
