#include "app/MainCycle.h"

#include <exception>
#include <string>

namespace kx {

namespace {

class RunningFlag {
public:
    explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool& flag_;
};

}  // namespace

void MainCycle::MainTimerTimer() {
    if (running_) return;
    RunningFlag running(running_);
    // Each stage in a guard of its own: a failure ends the stage it arose
    // in, and the later stages of the tick run all the same.
    RunStage("acceleration", stages_.acceleration);
    RunStage("block-list reload", stages_.blockListReload);
    bool loadTrayIcon = true;
    RunStage("tray visibility", [&] {
        if (stages_.trayVisibility) loadTrayIcon = stages_.trayVisibility();
    });
    RunStage("update notice", [&] {
        if (stages_.updateNotice) stages_.updateNotice(loadTrayIcon);
    });
    RunStage("icon refresh", stages_.iconRefresh);
}

void MainCycle::RunStage(const char* stage, const std::function<void()>& run) {
    std::string what = "an unknown failure";
    try {
        if (run) run();
        return;
    } catch (const std::exception& failure) {
        // Whatever a stage raised (kx::Failure, a standard exception or any
        // other), the rest of that stage is abandoned.
        what = failure.what();
    } catch (...) {
    }
    if (trace_ == nullptr) return;
    try {
        trace_->Line("tick", std::string("abandoned in the ") + stage + " stage: " + what);
    } catch (...) {
        // No memory for the line: the stage is abandoned all the same.
    }
}

}  // namespace kx
