#include "app/AccelerationStage.h"

#include <limits>

#include "platform/Failure.h"
#include "config/TextRules.h"

namespace kx {

std::int64_t AccelerationStage::StoredHandle() const { return ParseHandleText(settings_.RegReadString(u"Handle", u"0")); }

void AccelerationStage::AssignIdealProcessor() {
    if (!settings_.RegReadBool(u"ProcessorIdeal", true)) return;
    // Handle is read back rather than taken from the tick: when its write did
    // not take effect, the window it still names keeps being served.
    sampler_.SetWindowIdealProcessor(static_cast<Hwnd>(static_cast<std::uint64_t>(StoredHandle())));
}

void AccelerationStage::Run() {
    const Hwnd window = inspection_.windows.GetForegroundWindow();
    const ForegroundSnapshot snapshot = TakeForegroundSnapshot(inspection_, window);
    if (!blockList_.IsBlocked(snapshot.caption, snapshot.classKey, snapshot.imagePath) &&
        StoredHandle() != static_cast<std::int64_t>(window)) {
        priority_.AccelerateWindow(window, settings_.RegReadInteger(u"ProcessorPriority", 2));
        settings_.RegWriteString(u"Handle", HandleText(window));
        AssignIdealProcessor();
        idealRefreshCounter_ = 0;
        return;
    }
    // The same window, or a blocked one: only the two-minute refresh.
    ++idealRefreshCounter_;
    if (idealRefreshCounter_ >= kIdealRefreshTicks) {
        AssignIdealProcessor();
        idealRefreshCounter_ = 0;
    }
}

}  // namespace kx
