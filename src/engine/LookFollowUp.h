// What follows a look beyond the class it gave: the program in front placed
// on the best cores (CorePlacement), and the look's outcome kept for the
// user (the volatile Status key, the tooltip's second line).
#pragma once

#include <cstdint>
#include <vector>

#include "config/Settings.h"
#include "engine/BlockList.h"
#include "engine/CorePlacement.h"
#include "engine/Foreground.h"
#include "engine/LookOutcome.h"
#include "engine/Priority.h"

namespace kx {

class LookFollowUp {
public:
    LookFollowUp(const SettingsStore& settings, const PlacementApi& placement, IRegistry& registry,
                 std::uint32_t ownProcessId, DebugTrace* trace = nullptr)
        : settings_(settings), placer_(placement), status_(registry, trace), ownProcessId_(ownProcessId) {}

    // A new window's process was raised (raise: what AccelerateWindow found):
    // it is placed when CorePlacement asks for it, and the outcome is kept.
    void Raised(const ForegroundSnapshot& snapshot, std::uint32_t processId, const RaiseResult& raise);
    // The window raised last is in front again (after a blocked one): its
    // outcome is the one told again.
    void StillInFront() { Keep(raised_); }
    // The window in front is blocked: the outcome names the row.
    void Blocked(const ForegroundSnapshot& snapshot, std::uint32_t processId, const BlockList& blockList);
    // The processors the ideal-processor move of processId chooses from: its
    // placed set, or none (every processor).
    const std::vector<ProcessorNumber>* ProcessorsOf(std::uint32_t processId) const;
    // KestrixTray ends and puts the raised process back: so does its set.
    void Restore() { placer_.Restore(); }

    const LookOutcome& Outcome() const { return status_.Last(); }
    // Counts the outcomes kept; a change of it means a new outcome.
    std::uint64_t OutcomeChanges() const { return changes_; }
    const StatusRecord& Status() const { return status_; }
    CorePlacer& Placer() { return placer_; }

private:
    void Keep(const LookOutcome& outcome);

    const SettingsStore& settings_;
    CorePlacer placer_;
    StatusRecord status_;
    std::uint32_t ownProcessId_;
    LookOutcome kept_;
    LookOutcome raised_;  // the outcome of the last raise
    std::uint64_t changes_ = 0;
    // The last blocked window's texts: the row is looked for again only when they change.
    ForegroundSnapshot blockedSnapshot_;
    LookOutcome blockedOutcome_;
};

}  // namespace kx
