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
        SetProcessPriorityLevel(state_.lastProcess, level);
    } catch (...) {
        // Nothing is reported; the next call starts from the state as it stands.
    }
}

}  // namespace kx
