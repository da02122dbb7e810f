#include "update/UpdateNotice.h"

#include "config/Contract.h"

#include <limits>

#include <string>

#include "platform/Failure.h"
#include "update/UpdateDates.h"

namespace kx {

UpdateNotice::UpdateNotice(IClock& clock, const SettingsStore& settings, const Captions& captions,
                           TrayIcon& trayIcon, UpdateChecker& checker, std::int32_t firstCount, DebugTrace* trace)
    : clock_(clock),
      settings_(settings),
      captions_(captions),
      trayIcon_(trayIcon),
      checker_(checker),
      trace_(trace),
      counter_(firstCount) {}

void UpdateNotice::UpdateNoticeStage(bool iconShown) {
    if (counter_ < std::numeric_limits<std::int32_t>::max()) ++counter_;

    // UpdatedDate is read on every tick. A missing or empty value stands for
    // an update made at this very moment. That moment is taken as it is rather
    // than passed through the stored form: whole seconds since 1970 stop
    // fitting 32 bits on 19 January 2038, and a wrapped default would read as
    // 1901 and send a request for a user who never had an update recorded.
    const Text stored = settings_.RegReadString(u"UpdatedDate", Text{});

    if (counter_ < kUpdateTicksPerDay) return;

    const double now = CurrentMoment(clock_);
    if (DaysSinceUpdate(stored, now) <= kUpdateMaxAgeDays) return;

    counter_ = 0;
    // An organisation may turn the check off (policy UpdateCheck 0); it is asked again a day later.
    if (!settings_.Policies().UpdateCheck()) return;
    if (notified_) return;
    if (checker_.CheckForUpdate() != kUpdateAvailable) return;
    notified_ = true;
    ShowNotice(iconShown);
}

std::int64_t UpdateNotice::DaysSinceUpdate(const Text& stored, double now) {
    if (stored.empty()) return 0;
    try {
        return WholeDaysBetween(now, UpdatedDateToDateTime(stored, clock_));
    } catch (const Failure& failure) {
        // A text that converts to no moment reads as a missing value: an
        // update made at this moment. The stage and the tick go on.
        if (trace_ != nullptr) trace_->Line("update.date", std::string(failure.what()) + "; read as missing");
        return 0;
    }
}

void UpdateNotice::ShowNotice(bool iconShown) {
    if (!iconShown) {
        // The user hides the icon; it is put into the notification area so
        // that the notice has an icon to stand on. Stage 3 of the next tick
        // hides it again, notice and all.
        trayIcon_.SetVisible(false);
        trayIcon_.SetVisible(true);
    }
    // The language set at this moment, so the notice follows a change at once.
    Text title;
    captions_.GetCaption(contract::kTrayFormGroup, u"BalloonTitle", title);
    trayIcon_.SetBalloonTitle(title);
    Text text;
    captions_.GetCaption(contract::kTrayFormGroup, u"BalloonHint", text);
    trayIcon_.SetBalloonHint(text);
    trayIcon_.ShowBalloonHint();
}

}  // namespace kx
