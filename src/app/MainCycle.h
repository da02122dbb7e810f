// The main cycle: the five stages of every tick of the one-second timer, in
// their fixed order, inside one guard.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/DebugApi.h"

namespace kx {

// The interval of the timer that drives the cycle, in milliseconds: the tray
// form's one second (CycleBuild.cpp; a test variant links its own copy).
extern const std::uint32_t kMainTimerIntervalMs;

// The stages of one tick. A stage left empty is skipped; an empty
// trayVisibility counts as a LoadTrayIcon of true for the update stage.
struct TickStages {
    std::function<void()> acceleration;          // 1: raise the focused program
    std::function<void()> blockListReload;       // 2: rebuild the block list when flagged
    std::function<bool()> trayVisibility;        // 3: show or hide the icon; the LoadTrayIcon read
    std::function<void(bool)> updateNotice;      // 4: the daily update check, given stage 3's value
    std::function<void()> iconRefresh;           // 5: draw the load graph
};

class MainCycle {
public:
    MainCycle() = default;
    // trace: where an abandoned tick leaves its line; none without it.
    explicit MainCycle(TickStages stages, DebugTrace* trace = nullptr) : stages_(std::move(stages)), trace_(trace) {}

    TickStages& Stages() { return stages_; }

    // One tick. A failure in a stage abandons the rest of that stage only,
    // and leaves one line on the debug output (rate-limited)
    // naming the stage and the failure; the later stages of the tick run all
    // the same, and a failed tray-visibility stage hands on a LoadTrayIcon of
    // true. A tick that arrives while one is still running (a stage that
    // handles waiting messages) is dropped, so ticks never overlap.
    void MainTimerTimer();

    bool Running() const { return running_; }

private:
    void RunStage(const char* stage, const std::function<void()>& run);

    TickStages stages_;
    DebugTrace* trace_ = nullptr;
    bool running_ = false;
};

}  // namespace kx
