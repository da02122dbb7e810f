#include "app/MainCycle.h"

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
    try {
        if (stages_.acceleration) stages_.acceleration();
        if (stages_.blockListReload) stages_.blockListReload();
        const bool loadTrayIcon = stages_.trayVisibility ? stages_.trayVisibility() : true;
        if (stages_.updateNotice) stages_.updateNotice(loadTrayIcon);
        if (stages_.iconRefresh) stages_.iconRefresh();
    } catch (...) {
        // Whatever a stage raised (kx::Failure, a standard exception or any
        // other), the rest of this tick is abandoned without a word.
    }
}

}  // namespace kx
