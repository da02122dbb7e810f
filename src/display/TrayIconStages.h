// Stages 3 and 5 of the main cycle: the notification-area icon follows the
// LoadTrayIcon setting, and shows the processor load graph of every tick.
#pragma once

#include <cstdint>

#include "platform/TrayIcon.h"
#include "config/Settings.h"
#include "config/WatchedKey.h"
#include "display/BusiestCore.h"
#include "display/LoadIconRenderer.h"
#include "display/LoadMeter.h"
#include "platform/ClockApi.h"
#include "platform/DebugApi.h"
#include "platform/SystemApi.h"
#include "platform/WindowApi.h"

namespace kx {

// A load of 0 to 100 as a whole number, ties to the even number (50.5 gives
// 50, 51.5 gives 52), whatever the rounding mode of the thread.
std::int32_t RoundLoad(double load);

class TrayIconStages {
public:
    TrayIconStages(IWindows& windows, IClock& clock, ISystemInfo& system, const SettingsStore& settings,
                   TrayIcon& trayIcon, LoadMeter& loadMeter, IconRenderer& renderer, DebugTrace* trace = nullptr)
        : windows_(windows),
          clock_(clock),
          system_(system),
          settings_(settings),
          trayIcon_(trayIcon),
          loadMeter_(loadMeter),
          renderer_(renderer),
          trace_(trace) {}

    // Shows or hides the icon as LoadTrayIcon says, adding it only once the
    // taskbar exists, and again on later ticks while the shell refuses it. Returns the LoadTrayIcon value read, for the update
    // notice of the same tick. A removal the shell refuses raises Failure.
    bool TrayVisibilityStage();

    // Measures the load, draws the next graph in the colours of the settings
    // and gives it to the icon (an empty picture when the drawing fails).
    // With BusiestCore on and a meter given, each column also marks the
    // busiest processor's load; with FollowTheme on and the theme key
    // given, the colours the user did not set follow Windows' dark theme.
    void IconRefreshStage();

    // The meter of the busiest processor (BusiestCore) and the key of the
    // user's theme (FollowTheme), read once a tick; without them the two
    // settings have no effect.
    void ShowBusiestCoreWith(BusiestCoreMeter* meter) { busiest_ = meter; }
    void FollowThemeWith(WatchedKey* themeKey) { themeKey_ = themeKey; }

private:
    IWindows& windows_;
    IClock& clock_;
    ISystemInfo& system_;
    const SettingsStore& settings_;
    TrayIcon& trayIcon_;
    LoadMeter& loadMeter_;
    IconRenderer& renderer_;
    DebugTrace* trace_;
    BusiestCoreMeter* busiest_ = nullptr;
    WatchedKey* themeKey_ = nullptr;
    Hwnd taskbar_ = 0;  // the taskbar found last, looked for again once it is gone
};

}  // namespace kx
