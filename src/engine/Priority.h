// Priority control: the program's own priority scale, setting and reading it
// for a process, and the one process currently raised with its earlier level.
#pragma once

#include <cstdint>
#include <string>

#include "platform/DebugApi.h"
#include "platform/ProcessApi.h"
#include "platform/Types.h"
#include "platform/WindowApi.h"

namespace kx {

// -2 idle, -1 below normal, 0 normal, 1 above normal, 2 high, 3 realtime.
using PriorityLevel = int;

// The platform priority class of a level; 0 for a level outside -2..3.
std::uint32_t PriorityClassOfLevel(PriorityLevel level);
// The level of a platform priority class; 0 for a class not on the scale.
PriorityLevel PriorityLevelOfClass(std::uint32_t priorityClass);

// The process raised last and the level it had before.
struct AccelerationState {
    Hwnd lastWindow = 0;         // the window last passed to AccelerateWindow; 0: none
    PriorityLevel lastLevel = 0;  // that window's process level just before it was raised
    std::uint32_t lastProcess = 0;  // that process's id, taken when it was raised
    std::uint32_t givenClass = 0;   // the class it was given; 0: none (a level off the scale, or refused)
};

// What a raise found: the class asked for and the class read back after it.
struct RaiseResult {
    std::uint32_t processId = 0;
    std::uint32_t asked = 0;     // the class of the level; 0 for a level off the scale
    std::uint32_t given = 0;     // GetPriorityClass after the change; 0 when not raised
    bool opened = false;         // the process could be opened to be changed
    bool set = false;            // SetPriorityClass succeeded
    std::uint32_t openError = 0;  // why it could not be opened (GetLastError)
};

class PriorityControl {
public:
    // trace: where a process that cannot be changed leaves its line.
    PriorityControl(IWindows& windows, IProcesses& processes, DebugTrace* trace = nullptr)
        : windows_(windows), processes_(processes), trace_(trace) {}

    // Sets the process's priority class; a level outside -2..3 changes nothing.
    void SetProcessPriorityLevel(std::uint32_t processId, PriorityLevel level);
    // The current level of the window's process; 0 when it cannot be read.
    PriorityLevel GetWindowPriorityLevel(Hwnd window);
    // Raises the window's process to level and puts the process raised
    // before back to its earlier level. A repeat of the last window does nothing.
    // The raised process's handle stays open while it is the raised one, so
    // its id cannot pass to another process, and the restore goes through
    // it, only while the class is still the one given here: a program that
    // set its own class since keeps it.
    void AccelerateWindow(Hwnd window, PriorityLevel level);

    const AccelerationState& State() const { return state_; }
    // The raise of the last AccelerateWindow that changed the window.
    const RaiseResult& LastRaise() const { return lastRaise_; }

private:
    std::uint32_t ProcessOf(Hwnd window);
    // Puts the raised process back, if its class is still the one given.
    void RestoreRaised();
    void Trace(const std::string& what);

    IWindows& windows_;
    IProcesses& processes_;
    DebugTrace* trace_ = nullptr;
    AccelerationState state_;
    RaiseResult lastRaise_;
    OwnedHandle raised_;  // the raised process, open while it is the raised one
};

}  // namespace kx
