#include "app/AccelerationStage.h"

#include <limits>

#include "config/TextRules.h"

namespace kx {

std::int64_t AccelerationStage::AcceleratedWindow() {
    // A window recorded by an earlier run and still in front is not raised again.
    if (!accelerated_) {
        const Text stored = settings_.RegReadString(u"Handle", u"0");
        std::int64_t window = 0;
        // A text that is no number reads as its default, "0": no window.
        if (!TryParseHandleText(stored, &window) && trace_ != nullptr) {
            trace_->Line("acceleration", "Handle holds no decimal number; read as 0");
        }
        accelerated_ = window;
    }
    return *accelerated_;
}

void AccelerationStage::AssignIdealProcessor() {
    if (!settings_.RegReadBool(u"ProcessorIdeal", true)) return;
    // Inside the set the process was placed on, when it was.
    const IdealMove move =
        sampler_.SetWindowIdealProcessor(static_cast<Hwnd>(static_cast<std::uint64_t>(AcceleratedWindow())),
                                         followUp_ != nullptr ? followUp_->ProcessorsOf(priority_.State().lastProcess)
                                                              : nullptr);
    if (keeper_ != nullptr) keeper_->ThreadsMoved(move);
}

bool AccelerationStage::LookAt(Hwnd window) {
    lookedAt_ = window;
    const ForegroundSnapshot snapshot = TakeForegroundSnapshot(inspection_, window, &imagePath_);
    const bool blocked = blockList_.IsBlocked(snapshot.caption, snapshot.classKey, snapshot.imagePath);
    if (blocked && followUp_ != nullptr && window != 0) {
        std::uint32_t processId = 0;
        inspection_.windows.GetWindowThreadProcessId(window, &processId);
        followUp_->Blocked(snapshot, processId, blockList_);
    }
    if (!blocked && AcceleratedWindow() != static_cast<std::int64_t>(window)) {
        const PriorityLevel level = settings_.RegReadInteger(u"ProcessorPriority", 2);
        priority_.AccelerateWindow(window, level);
        if (keeper_ != nullptr) keeper_->Raised(priority_.State(), level);
        if (followUp_ != nullptr) followUp_->Raised(snapshot, priority_.State().lastProcess, priority_.LastRaise());
        accelerated_ = static_cast<std::int64_t>(window);
        // The main program shows the accelerated window from Handle; a key
        // that refuses the write changes nothing here.
        if (!settings_.RegWriteString(u"Handle", HandleText(window)) && trace_ != nullptr) {
            trace_->Line("acceleration", "Handle cannot be written; the accelerated window is kept in memory");
        }
        AssignIdealProcessor();
        idealRefreshCounter_ = 0;
        return true;
    }
    if (!blocked && followUp_ != nullptr) followUp_->StillInFront();
    return false;
}

void AccelerationStage::Run() {
    if (LookAt(inspection_.windows.GetForegroundWindow())) return;
    // The same window, or a blocked one: only the two-minute refresh.
    ++idealRefreshCounter_;
    if (idealRefreshCounter_ >= kIdealRefreshTicks) {
        AssignIdealProcessor();
        idealRefreshCounter_ = 0;
    }
}

void AccelerationStage::RunForForegroundChange() {
    // The foreground first: most events change nothing, and tell it without a registry read.
    const Hwnd window = inspection_.windows.GetForegroundWindow();
    if (window == 0 || window == lookedAt_) return;
    LookAt(window);
}

}  // namespace kx
