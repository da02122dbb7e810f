#include "engine/LookFollowUp.h"

#include "config/Contract.h"

namespace kx {

void LookFollowUp::Keep(const LookOutcome& outcome) {
    if (outcome.kind == OutcomeKind::None) return;
    if (changes_ == 0 || outcome != kept_) {
        kept_ = outcome;
        ++changes_;
    }
    // Written only when it differs from what was written last; a write that
    // failed is tried again at the next look that acts.
    status_.Record(outcome);
}

void LookFollowUp::Raised(const ForegroundSnapshot& snapshot, std::uint32_t processId, const RaiseResult& raise) {
    try {
        raised_ = LookOutcome{};
        if (processId == 0) {
            // No process was raised, and the one raised before went back: so does its set.
            placer_.Restore();
            return;
        }
        if (processId == ownProcessId_) {
            placer_.Restore();
            raised_ = OwnOutcome(snapshot.imagePath);
            Keep(raised_);
            return;
        }
        PlacementKind cores = PlacementKind::None;
        if (raise.opened && raise.set) {
            const bool wanted = settings_.RegReadBool(contract::kCorePlacement, false);
            if (placer_.Place(processId, wanted ? PlacementKind::Auto : PlacementKind::None) ==
                PlacementResult::Placed) {
                cores = placer_.Placed().kind;
            }
        } else {
            placer_.Restore();
        }
        raised_ = RaisedOutcome(snapshot.imagePath, raise, cores);
        Keep(raised_);
    } catch (...) {
        // The look stays as it is; nothing is told.
    }
}

void LookFollowUp::Blocked(const ForegroundSnapshot& snapshot, std::uint32_t processId, const BlockList& blockList) {
    try {
        if (processId == 0) return;
        if (processId == ownProcessId_) {
            Keep(OwnOutcome(snapshot.imagePath));
            return;
        }
        if (blockedOutcome_.kind == OutcomeKind::None || snapshot.caption != blockedSnapshot_.caption ||
            snapshot.classKey != blockedSnapshot_.classKey || snapshot.imagePath != blockedSnapshot_.imagePath) {
            BlockRow row;
            if (!blockList.BlockingRow(snapshot.caption, snapshot.classKey, snapshot.imagePath, &row)) return;
            blockedSnapshot_ = snapshot;
            blockedOutcome_ = BlockedOutcome(snapshot.imagePath, row);
        }
        Keep(blockedOutcome_);
    } catch (...) {
    }
}

const std::vector<ProcessorNumber>* LookFollowUp::ProcessorsOf(std::uint32_t processId) const {
    if (processId == 0 || placer_.PlacedProcess() != processId) return nullptr;
    return &placer_.Placed().processors;
}

}  // namespace kx
