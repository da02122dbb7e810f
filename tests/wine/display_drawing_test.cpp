// wine-test: version=win7 desktop=yes timeout=120
// The drawing's pixels become the icon's pixels: the stages run in this
// process against real Windows, and the notification area shows exactly the
// picture the renderer drew, every pixel opaque, the right way up.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>

#include "DisplayPictures.h"
#include "WineTestSupport.h"
#include "platform/TrayIcon.h"
#include "config/Settings.h"
#include "display/LoadIconRenderer.h"
#include "display/LoadMeter.h"
#include "display/TrayIconStages.h"
#include "platform/win32/Win32Api.h"

namespace {

std::uint32_t ScreenColour(std::uint32_t colorRef) {
    // 0x00BBGGRR as drawn, 0x00RRGGBB as read from the screen.
    return ((colorRef & 0xFFu) << 16) | (colorRef & 0xFF00u) | ((colorRef >> 16) & 0xFFu);
}

// The first difference between the picture and the screen at icon, or empty.
std::string Compare(const kx::IconRenderer& renderer, const kxtest::Pixels& screen,
                    const kxdisplay::IconOnScreen& icon) {
    const int n = renderer.PictureWidth();
    for (int y = 0; y < renderer.PictureHeight(); ++y) {
        for (int x = 0; x < n; ++x) {
            const std::uint32_t drawn = ScreenColour(renderer.Picture()[static_cast<std::size_t>(y * n + x)]);
            const std::uint32_t shown = screen.At(icon.left + x, icon.top + y);
            if (drawn != shown) {
                std::ostringstream out;
                out << "pixel " << x << "," << y << ": drawn " << std::hex << drawn << ", shown " << shown;
                return out.str();
            }
        }
    }
    return {};
}

TEST(GraphIconDrawing, NotificationAreaShowsEveryPixelAsDrawn) {
    kxtest::DeleteKeyTree();
    // Colours that tell the channels apart, so that swapped red and blue show.
    ASSERT_TRUE(kxtest::SetStringValue(L"BackgroundColor", L"$00204080"));
    ASSERT_TRUE(kxtest::SetStringValue(L"GridColor", L"$0030C060"));
    ASSERT_TRUE(kxtest::SetStringValue(L"BarColor", L"clFuchsia"));

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KxDrawingTestWindow";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"KxDrawingTestWindow", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    {
        kx::Win32Api api;
        kx::SettingsStore settings(api.registry);
        kx::LoadMeter meter(api.system, api.libraries);
        kx::IconRenderer renderer(api.windows, api.drawing);
        kx::TrayIcon trayIcon(api.shell, api.windows, api.drawing,
                              static_cast<kx::Hwnd>(reinterpret_cast<std::uintptr_t>(window)), WM_APP + 1);
        kx::TrayIconStages stages(api.windows, api.clock, api.system, settings, trayIcon, meter, renderer);

        const kxdisplay::Colours colours = {0x00804020, 0x0060C030, 0x00FF00FF};
        std::string difference = "no icon";
        for (int tick = 0; tick < 8 && !difference.empty(); ++tick) {
            stages.TrayVisibilityStage();
            stages.IconRefreshStage();
            ASSERT_NE(trayIcon.Icon(), 0u);
            // The shell draws the new picture in its own time.
            kxtest::WaitUntil(
                [&] {
                    const kxtest::Pixels screen = kxtest::CaptureScreen();
                    const auto icon = kxdisplay::FindGraphIcon(screen, colours);
                    difference = icon ? Compare(renderer, screen, *icon) : "no icon";
                    return difference.empty();
                },
                1000, 100);
        }
        kxtest::SaveScreenshot(L"drawing");
        EXPECT_EQ(difference, "");
    }
    DestroyWindow(window);
    kxtest::DeleteKeyTree();
}

}  // namespace
