// The Windows side of the platform seam: each concern forwards its calls to
// Windows. Compiled only in the Windows build.
#pragma once

#include "platform/Platform.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32DebugOutput.h"
#include "platform/win32/Win32Drawing.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Libraries.h"
#include "platform/win32/Win32Network.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/Win32Windows.h"

namespace kx {

class Win32Api {
public:
    Win32Registry registry;
    Win32Windows windows;
    Win32Processes processes;
    Win32System system;
    Win32Files files;
    Win32Libraries libraries;
    Win32Shell shell;
    Win32Drawing drawing;
    Win32Network network;
    Win32Clock clock;
    Win32DebugOutput debugOutput;
    DebugTrace trace{debugOutput, clock};

    Platform api() {
        return Platform{registry, windows, processes, system, files, libraries, shell, drawing, network, clock, trace};
    }
};

}  // namespace kx
