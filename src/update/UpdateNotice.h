// Stage 4 of the main cycle: the daily update schedule and the balloon notice.
#pragma once

#include <cstdint>

#include "platform/TrayIcon.h"
#include "config/Captions.h"
#include "config/Settings.h"
#include "platform/ClockApi.h"
#include "platform/DebugApi.h"
#include "update/UpdateChecker.h"

namespace kx {

// Ticks between two evaluations of the stored update date.
constexpr std::int32_t kUpdateTicksPerDay = 86400;
// A stored update this many whole days away is recent enough.
constexpr std::int64_t kUpdateMaxAgeDays = 45;

class UpdateNotice {
public:
    // firstCount: UpdateTickCounter at program start; 79200 puts the first
    // evaluation on the 7200th tick, two hours after the start. trace: where
    // an UpdatedDate that converts to no moment leaves its line.
    UpdateNotice(IClock& clock, const SettingsStore& settings, const Captions& captions, TrayIcon& trayIcon,
                 UpdateChecker& checker, std::int32_t firstCount = kUpdateFirstCount, DebugTrace* trace = nullptr);

    // Runs once per tick with the LoadTrayIcon value stage 3 read. An
    // UpdatedDate that converts to no moment (a word, a number beyond 32
    // bits, a date the regional format rejects) reads as missing.
    void UpdateNoticeStage(bool iconShown);

    std::int32_t UpdateTickCounter() const { return counter_; }
    bool UpdateNotified() const { return notified_; }

private:
    void ShowNotice(bool iconShown);
    // Whole days between now and the stored update; 0 for a missing value
    // and for one that converts to no moment.
    std::int64_t DaysSinceUpdate(const Text& stored, double now);

    IClock& clock_;
    const SettingsStore& settings_;
    const Captions& captions_;
    TrayIcon& trayIcon_;
    UpdateChecker& checker_;
    DebugTrace* trace_ = nullptr;
    std::int32_t counter_;
    bool notified_ = false;
};

}  // namespace kx
