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
    const char* stage = "acceleration";
    std::string what = "an unknown failure";
    try {
        if (stages_.acceleration) stages_.acceleration();
        stage = "block-list reload";
        if (stages_.blockListReload) stages_.blockListReload();
        stage = "tray visibility";
        const bool loadTrayIcon = stages_.trayVisibility ? stages_.trayVisibility() : true;
        stage = "update notice";
        if (stages_.updateNotice) stages_.updateNotice(loadTrayIcon);
        stage = "icon refresh";
        if (stages_.iconRefresh) stages_.iconRefresh();
        return;
    } catch (const std::exception& failure) {
        // Whatever a stage raised (kx::Failure, a standard exception or any
        // other), the rest of this tick is abandoned.
        what = failure.what();
    } catch (...) {
    }
    if (trace_ == nullptr) return;
    try {
        trace_->Line("tick", std::string("abandoned in the ") + stage + " stage: " + what);
    } catch (...) {
        // No memory for the line: the tick is abandoned all the same.
    }
}

}  // namespace kx
