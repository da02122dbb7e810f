// Stage 1 of the main cycle: the foreground window, unless blocked, becomes
// the accelerated window when it differs from the one accelerated last;
// while the focus stays put, the ideal processor is refreshed every 120 ticks.
// The window accelerated last is kept in memory and written to Handle for
// the main program; Handle is read only to learn, on the first tick, the
// window an earlier run recorded. So a key that refuses writes, or another
// account's tray writing Handle, costs no work beyond the tick's own.
#pragma once

#include <cstdint>
#include <optional>

#include "config/Settings.h"
#include "config/StoredValues.h"
#include "engine/BlockList.h"
#include "engine/Foreground.h"
#include "engine/IdealProcessor.h"
#include "engine/LookFollowUp.h"
#include "engine/Priority.h"
#include "platform/DebugApi.h"
#include "engine/RaisedProcess.h"
#include "platform/Types.h"

namespace kx {

// Ticks between two ideal-processor assignments while the focus stays put:
// 120 (CycleBuild.cpp; a test variant of the program links its own copy).
extern const int kIdealRefreshTicks;

// ParseHandleText and HandleText, the Handle value's parser and writer, come
// from config/StoredValues.h, shared with the main program.

class AccelerationStage {
public:
    AccelerationStage(const InspectionApi& inspection, const SettingsStore& settings, const BlockList& blockList,
                      PriorityControl& priority, ProcessorSampler& sampler, DebugTrace* trace = nullptr)
        : inspection_(inspection),
          settings_(settings),
          blockList_(blockList),
          priority_(priority),
          sampler_(sampler),
          trace_(trace) {}

    // One tick. A Handle that holds no decimal number reads as "0".
    void Run();
    // The foreground changed (a window event of the immediate boost): when
    // the foreground window is one other than the one looked at last, and
    // not the null window, the look of a tick runs at once, every rule
    // included, except that a same or blocked window counts no tick towards
    // the refresh. Reads no setting before it knows the window is new.
    void RunForForegroundChange();
    // The foreground window of the last look, by tick or event.
    Hwnd LookedAt() const { return lookedAt_; }
    // A start that put back the process an earlier run raised: Handle no
    // longer tells a window that is still raised, so the first look raises
    // the window in front whichever it is.
    void ForgetRecordedWindow() { accelerated_ = 0; }

    int IdealRefreshCounter() const { return idealRefreshCounter_; }
    // Tells the keeper of the raised process of every raise and move (RestoreOnExit).
    void KeepRaisedProcessWith(RaisedProcessKeeper* keeper) { keeper_ = keeper; }
    // Places each raised process and keeps each look's outcome (CorePlacement, Status).
    void FollowLooksWith(LookFollowUp* followUp) { followUp_ = followUp; }

private:
    // The window accelerated last: at first the one Handle names.
    std::int64_t AcceleratedWindow();
    // Steps 1 to 5 of the look; false when the window is the same or blocked.
    bool LookAt(Hwnd window);
    // Moves the accelerated window's threads to the least-used processor,
    // when the feature is on.
    void AssignIdealProcessor();

    InspectionApi inspection_;
    const SettingsStore& settings_;
    const BlockList& blockList_;
    PriorityControl& priority_;
    ProcessorSampler& sampler_;
    DebugTrace* trace_;
    int idealRefreshCounter_ = 0;
    std::optional<std::int64_t> accelerated_;
    Hwnd lookedAt_ = 0;  // the foreground window of the last look, by tick or event
    ImagePathMemo imagePath_;  // read again only when the window or its process changed
    RaisedProcessKeeper* keeper_ = nullptr;
    LookFollowUp* followUp_ = nullptr;
};

}  // namespace kx
