// The platform seam: the program's algorithms call Windows only through
// these interfaces. Win32Api forwards them to Windows; the tests' simulated
// Windows implements them in memory.
#pragma once

#include "platform/ClockApi.h"
#include "platform/DebugApi.h"
#include "platform/DrawingApi.h"
#include "platform/LibraryApi.h"
#include "platform/NetworkApi.h"
#include "platform/ProcessApi.h"
#include "platform/RegistryApi.h"
#include "platform/ShellApi.h"
#include "platform/SystemApi.h"
#include "platform/WindowApi.h"

namespace kx {

// One reference per concern; the classes of the program take the ones they use.
struct Platform {
    IRegistry& registry;
    IWindows& windows;
    IProcesses& processes;
    ISystemInfo& system;
    IFiles& files;
    ILibraries& libraries;
    IShell& shell;
    IDrawing& drawing;
    INetwork& network;
    IClock& clock;
    DebugTrace& trace;
};

}  // namespace kx
