#include "engine/Priority.h"

#include <string>

namespace kx {

namespace {

struct LevelClass {
    PriorityLevel level;
    std::uint32_t priorityClass;
};

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

RaiseResult PriorityControl::RaiseProcess(std::uint32_t processId, PriorityLevel level) {
    RaiseResult result;
    result.processId = processId;
    result.asked = PriorityClassOfLevel(level);
    try {
        if (processId == 0) return result;
        // The query right as well, to read back what was given.
        OwnedHandle process(processes_, processes_.OpenProcess(w32::kProcessSetInformation |
                                                                   w32::kProcessQueryLimitedInformation,
                                                               false, processId));
        if (!process) {
            result.openError = processes_.GetLastError();
            if (trace_ != nullptr) {
                trace_->Line("priority", "OpenProcess failed for process " + std::to_string(processId) + " (error " +
                                             std::to_string(result.openError) + ")");
            }
            return result;
        }
        result.opened = true;
        // A level off the scale changes nothing; what the process has is still read.
        result.set = result.asked != 0 && processes_.SetPriorityClass(process.get(), result.asked);
        if (result.asked != 0 && !result.set && trace_ != nullptr) {
            trace_->Line("priority", "SetPriorityClass failed for process " + std::to_string(processId));
        }
        result.given = processes_.GetPriorityClass(process.get());
    } catch (...) {
        // A process that cannot be changed is left alone.
    }
    return result;
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

void PriorityControl::AccelerateWindow(Hwnd window, PriorityLevel level) {
    try {
        if (window == state_.lastWindow) return;
        // The raised process is restored by the id remembered when it was
        // raised: its window may be gone by now.
        if (state_.lastWindow != 0) SetProcessPriorityLevel(state_.lastProcess, state_.lastLevel);
        state_.lastWindow = window;
        state_.lastLevel = GetWindowPriorityLevel(window);
        state_.lastProcess = ProcessOf(window);
        lastRaise_ = RaiseProcess(state_.lastProcess, level);
    } catch (...) {
        // Nothing is reported; the next call starts from the state as it stands.
    }
}

}  // namespace kx
