#include "app/ForegroundWatch.h"

#include <string>

namespace kx {

bool RunningUnderWine(ILibraries& libraries) {
    try {
        OwnedLibrary ntdll(libraries, libraries.LoadLibraryW(u"ntdll.dll"));
        return ntdll && libraries.GetProcAddress(ntdll.get(), "wine_get_version") != 0;
    } catch (...) {
        return false;
    }
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> ForegroundHookEvents(bool underWine) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> events{{w32::kEventSystemForeground,
                                                                 w32::kEventSystemForeground}};
    if (underWine) events.emplace_back(w32::kEventObjectCreate, w32::kEventObjectCreate);
    return events;
}

ForegroundWatch::~ForegroundWatch() {
    try {
        Unhook();
    } catch (...) {
    }
}

void ForegroundWatch::Follow(bool instantBoost) {
    if (!instantBoost) {
        Unhook();
        return;
    }
    if (hooked_) return;
    for (const auto& range : ForegroundHookEvents(underWine_)) {
        if (events_.Hook(range.first, range.second)) {
            hooked_ = true;
        } else if (trace_ != nullptr) {
            trace_->Line("instantboost", "the window events " + std::to_string(range.first) + ".." +
                                             std::to_string(range.second) + " cannot be hooked");
        }
    }
}

void ForegroundWatch::Unhook() {
    if (timerArmed_) events_.CancelLookTimer();
    timerArmed_ = false;
    if (hooked_) events_.UnhookAll();
    hooked_ = false;
}

Hwnd ForegroundWatch::NewForeground() {
    const Hwnd window = windows_.GetForegroundWindow();
    // No foreground window (a switch in progress, a locked desktop) is no new window.
    return window == 0 || window == stage_.LookedAt() ? 0 : window;
}

void ForegroundWatch::Event() {
    if (!hooked_ || timerArmed_ || NewForeground() == 0) return;
    const std::uint64_t now = clock_.GetTickCount64();
    const std::uint64_t since = now - lastLookMs_;
    if (looked_ && since < kLookSpacingMs) {
        events_.ArmLookTimer(static_cast<std::uint32_t>(kLookSpacingMs - since));
        timerArmed_ = true;
        return;
    }
    looked_ = true;
    lastLookMs_ = now;
    stage_.RunForForegroundChange();
}

void ForegroundWatch::LookTimerFired() {
    if (timerArmed_) events_.CancelLookTimer();
    timerArmed_ = false;
    Event();
}

}  // namespace kx
