// Stage 1 of the main cycle: the foreground window, unless blocked, becomes
// the accelerated window when it differs from the one recorded in Handle;
// while the focus stays put, the ideal processor is refreshed every 120 ticks.
#pragma once

#include <cstdint>

#include "config/Settings.h"
#include "config/StoredValues.h"
#include "engine/BlockList.h"
#include "engine/Foreground.h"
#include "engine/IdealProcessor.h"
#include "engine/Priority.h"
#include "platform/Types.h"

namespace kx {

// Ticks between two ideal-processor assignments while the focus stays put.
constexpr int kIdealRefreshTicks = 120;

// ParseHandleText and HandleText, the Handle value's parser and writer, come
// from config/StoredValues.h, shared with the main program.

class AccelerationStage {
public:
    AccelerationStage(const InspectionApi& inspection, const SettingsStore& settings, const BlockList& blockList,
                      PriorityControl& priority, ProcessorSampler& sampler)
        : inspection_(inspection), settings_(settings), blockList_(blockList), priority_(priority), sampler_(sampler) {}

    // One tick. Throws Failure when Handle does not hold a decimal number:
    // the tick's guard then abandons the rest of the tick.
    void Run();

    int IdealRefreshCounter() const { return idealRefreshCounter_; }

private:
    // The window recorded in Handle, read afresh.
    std::int64_t StoredHandle() const;
    // Moves the recorded window's threads to the least-used processor, when
    // the feature is on.
    void AssignIdealProcessor();

    InspectionApi inspection_;
    const SettingsStore& settings_;
    const BlockList& blockList_;
    PriorityControl& priority_;
    ProcessorSampler& sampler_;
    int idealRefreshCounter_ = 0;
};

}  // namespace kx
