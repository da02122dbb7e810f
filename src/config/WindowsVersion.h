// The Windows version index and the all-users data folder.
#pragma once

#include "platform/ShellApi.h"
#include "platform/SystemApi.h"
#include "platform/Types.h"

namespace kx {

// -1 unrecognised, 0 Windows 2000, 1 XP, 2 Server 2003, 3 Vista, 4 Server
// 2008 (R2), 5 Windows 7, 6 Windows 8/8.1, 7 Server 2012 (R2), 8 Windows 10
// and later. Asks the platform at every call.
int GetWindowsVersionIndex(ISystemInfo& system);

// The all-users application data folder with a trailing backslash; empty on failure.
Text GetCommonDataFolder(ISystemInfo& system, IShell& shell);

// The user block-list file: data folder + "VELMOR\Kestrix\Kestrix.csv".
Text BlockListPath(ISystemInfo& system, IShell& shell);

}  // namespace kx
