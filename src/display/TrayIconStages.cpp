#include "display/TrayIconStages.h"

#include <cmath>

#include "config/Contract.h"
#include "config/WindowsVersion.h"
#include "display/GraphColors.h"

namespace kx {

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
    // A window search each second costs more than asking whether the
    // taskbar found before still exists; a new shell's taskbar is found anew.
    if (taskbar_ == 0 || !windows_.IsWindow(taskbar_)) {
        const Text taskbarClass = u"Shell_TrayWnd";
        taskbar_ = windows_.FindWindowW(&taskbarClass, nullptr);
    }
    if (taskbar_ == 0) return shown;  // no taskbar yet
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
    // The theme is asked only when the colours are to follow it.
    const bool followTheme = themeKey_ != nullptr && settings_.RegReadBool(contract::kFollowTheme, false);
    std::optional<bool> lightTheme;
    if (followTheme) {
        themeKey_->Refresh();  // once a tick, as the settings key
        lightTheme = ReadSystemUsesLightTheme(*themeKey_);
    }
    const auto color = [&](const char16_t* name, const char16_t* dark) {
        return ChooseColorText(settings_.RegReadString(name, Text()), contract::ColorDefault(name, modern), dark,
                               followTheme, lightTheme);
    };
    const Text background = color(contract::kBackgroundColor, kDarkBackgroundColor);
    const Text grid = color(contract::kGridColor, kDarkGridColor);
    const Text bar = color(contract::kBarColor, kDarkBarColor);
    const std::int32_t load = RoundLoad(loadMeter_.GetSystemProcessorLoad());

    std::optional<BusiestRow> busiest;
    if (busiest_ != nullptr && settings_.RegReadBool(contract::kBusiestCore, false)) {
        const std::optional<double> busiestLoad = busiest_->ReadBusiestLoad();
        busiest = BusiestRow{busiestLoad ? std::optional<std::int32_t>(RoundLoad(*busiestLoad)) : std::nullopt,
                             settings_.RegReadString(contract::kBusiestColor,
                                                     contract::ColorDefault(contract::kBusiestColor, modern))};
    }

    renderer_.RenderLoadIcon(background, grid, bar, load, busiest ? &*busiest : nullptr);
    // The widget keeps the new picture itself, without a copy; when there is
    // none, the icon shows blank.
    trayIcon_.TakeIcon(renderer_.TakeLoadIcon());
}

}  // namespace kx
