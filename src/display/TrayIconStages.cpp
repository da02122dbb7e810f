#include "display/TrayIconStages.h"

#include <cmath>

#include "config/Contract.h"
#include "config/WindowsVersion.h"

namespace kx {

namespace {


// Releases the renderer's icon however the tick goes on.
class FreeIconOnExit {
public:
    explicit FreeIconOnExit(IconRenderer& renderer) : renderer_(renderer) {}
    ~FreeIconOnExit() { renderer_.FreeLoadIcon(); }
    FreeIconOnExit(const FreeIconOnExit&) = delete;
    FreeIconOnExit& operator=(const FreeIconOnExit&) = delete;

private:
    IconRenderer& renderer_;
};

}  // namespace

std::int32_t RoundLoad(double load) {
    if (!(load > -2147483648.0)) return load < 0 ? INT32_MIN : 0;  // NaN gives 0
    if (load >= 2147483647.0) return INT32_MAX;
    double whole = std::floor(load);
    const double fraction = load - whole;  // exact below 2^52
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) whole += 1;
    return static_cast<std::int32_t>(whole);
}

bool TrayIconStages::TrayVisibilityStage() {
    const bool shown = settings_.RegReadBool(u"LoadTrayIcon", true);
    if (!shown) {
        trayIcon_.SetVisible(false);
        return shown;
    }
    const Text taskbarClass = u"Shell_TrayWnd";
    if (windows_.FindWindowW(&taskbarClass, nullptr) == 0) return shown;  // no taskbar yet
    if (!trayIcon_.Visible()) {
        // Give the freshly started taskbar a moment before the icon is added.
        clock_.Sleep(1000);
        trayIcon_.SetVisible(false);
        trayIcon_.SetVisible(true);
    } else if (!trayIcon_.InNotificationArea()) {
        // A slow shell may have refused the addition, or lost the icon.
        if (trace_ != nullptr) trace_->Line("trayicon", "the shell does not hold the icon; it is added again");
        trayIcon_.RestoreIfLost();
    }
    return shown;
}

void TrayIconStages::IconRefreshStage() {
    // Windows 7 and later: white field, grey grid, bars of red 0, green 128, blue 255;
    // earlier and unrecognised releases: blue field, teal grid, white bars.
    const bool modern = GetWindowsVersionIndex(system_) >= 5;
    const Text background =
        settings_.RegReadString(contract::kBackgroundColor, contract::ColorDefault(contract::kBackgroundColor, modern));
    const Text grid = settings_.RegReadString(contract::kGridColor, contract::ColorDefault(contract::kGridColor, modern));
    const Text bar = settings_.RegReadString(contract::kBarColor, contract::ColorDefault(contract::kBarColor, modern));
    const std::int32_t load = RoundLoad(loadMeter_.GetSystemProcessorLoad());

    FreeIconOnExit freeIcon(renderer_);
    const KHandle icon = renderer_.RenderLoadIcon(background, grid, bar, load);
    trayIcon_.SetIcon(icon);  // also when there is none: the icon then shows blank
}

}  // namespace kx
