#include "engine/Priority.h"

#include <string>

namespace kx {

namespace {

struct LevelClass {
    PriorityLevel level;
    std::uint32_t priorityClass;
};

// The raised process's handle reads its class and sets it: before the raise,
// and again at its restore.
constexpr std::uint32_t kRaiseRights = w32::kProcessSetInformation | w32::kProcessQueryLimitedInformation;

constexpr LevelClass kScale[] = {
    {-2, w32::kIdlePriorityClass},   {-1, w32::kBelowNormalPriorityClass}, {0, w32::kNormalPriorityClass},
    {1, w32::kAboveNormalPriorityClass}, {2, w32::kHighPriorityClass},     {3, w32::kRealtimePriorityClass},
};

}  // namespace

std::uint32_t PriorityClassOfLevel(PriorityLevel level) {
    for (const auto& entry : kScale) {
        if (entry.level == level) return entry.priorityClass;
    }
    return 0;
}

PriorityLevel PriorityLevelOfClass(std::uint32_t priorityClass) {
    for (const auto& entry : kScale) {
        if (entry.priorityClass == priorityClass) return entry.level;
    }
    return 0;
}

std::uint32_t PriorityControl::ProcessOf(Hwnd window) {
    std::uint32_t processId = 0;
    windows_.GetWindowThreadProcessId(window, &processId);
    return processId;
}

void PriorityControl::SetProcessPriorityLevel(std::uint32_t processId, PriorityLevel level) {
    try {
        // Process id 0 is no process: a null window, or a window that is gone.
        if (processId == 0) return;
        OwnedHandle process(processes_, processes_.OpenProcess(w32::kProcessSetInformation, false, processId));
        const std::uint32_t priorityClass = PriorityClassOfLevel(level);
        if (priorityClass == 0) return;
        const char* failed = !process                                             ? "OpenProcess failed"
                             : !processes_.SetPriorityClass(process.get(), priorityClass) ? "SetPriorityClass failed"
                                                                                  : nullptr;
        if (failed != nullptr && trace_ != nullptr) {
            trace_->Line("priority", std::string(failed) + " for process " + std::to_string(processId));
        }
    } catch (...) {
        // A process that cannot be changed is left alone.
    }
}

PriorityLevel PriorityControl::GetWindowPriorityLevel(Hwnd window) {
    try {
        const std::uint32_t processId = ProcessOf(window);
        if (processId == 0) return 0;
        OwnedHandle process(processes_, processes_.OpenProcess(w32::kProcessQueryInformation, false, processId));
        if (!process) return 0;
        return PriorityLevelOfClass(processes_.GetPriorityClass(process.get()));
    } catch (...) {
        return 0;
    }
}

void PriorityControl::Trace(const std::string& what) {
    if (trace_ != nullptr) trace_->Line("priority", what);
}

void PriorityControl::RestoreRaised() {
    if (!raised_) return;
    // Through the handle kept since the raise: its window may be gone, and
    // its id may not be reused while the handle is open.
    const std::uint32_t now = processes_.GetPriorityClass(raised_.get());
    const std::uint32_t earlier = PriorityClassOfLevel(state_.lastLevel);
    if (now != state_.givenClass) {
        Trace("process " + std::to_string(state_.lastProcess) + " set a class of its own since it was raised; left as it is");
    } else if (earlier != 0 && !processes_.SetPriorityClass(raised_.get(), earlier)) {
        Trace("SetPriorityClass failed for process " + std::to_string(state_.lastProcess) + " at its restore");
    }
    raised_.reset();
}

void PriorityControl::AccelerateWindow(Hwnd window, PriorityLevel level) {
    try {
        if (window == state_.lastWindow) return;
        // A process that ended keeps its handle until here; GetPriorityClass then fails and nothing is set.
        if (state_.lastWindow != 0) RestoreRaised();
        raised_.reset();
        state_ = AccelerationState{};
        state_.lastWindow = window;
        state_.lastProcess = ProcessOf(window);
        // Process id 0 is no process: a null window, or a window that is gone.
        lastRaise_ = RaiseResult{};
        lastRaise_.processId = state_.lastProcess;
        lastRaise_.asked = PriorityClassOfLevel(level);
        if (state_.lastProcess == 0) return;
        // The query right as well: the class it had, and the class Windows gave, are read back.
        raised_ = OwnedHandle(processes_, processes_.OpenProcess(kRaiseRights, false, state_.lastProcess));
        if (!raised_) {
            lastRaise_.openError = processes_.GetLastError();
            Trace("OpenProcess failed for process " + std::to_string(state_.lastProcess) + " (error " +
                  std::to_string(lastRaise_.openError) + ")");
            return;
        }
        lastRaise_.opened = true;
        // Read before raising: the level the process had on its own.
        state_.lastLevel = PriorityLevelOfClass(processes_.GetPriorityClass(raised_.get()));
        const std::uint32_t priorityClass = lastRaise_.asked;
        if (priorityClass != 0) {
            lastRaise_.set = processes_.SetPriorityClass(raised_.get(), priorityClass);
            if (!lastRaise_.set) Trace("SetPriorityClass failed for process " + std::to_string(state_.lastProcess));
        }
        // What Windows gave: high where realtime was asked without the privilege.
        lastRaise_.given = processes_.GetPriorityClass(raised_.get());
        if (!lastRaise_.set) {
            raised_.reset();  // nothing given, so nothing to put back
            return;
        }
        state_.givenClass = lastRaise_.given != 0 ? lastRaise_.given : priorityClass;
    } catch (...) {
        // Nothing is reported; the next call starts from the state as it stands.
    }
}

}  // namespace kx
