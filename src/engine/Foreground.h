// The three texts by which the block list recognises a window: its title
// caption, its class key ("#" and the class name) and the full drive-letter
// path of the executable that owns it.
#pragma once

#include <cstdint>

#include "platform/DebugApi.h"

#include "platform/LibraryApi.h"
#include "platform/ProcessApi.h"
#include "platform/SystemApi.h"
#include "platform/Types.h"
#include "platform/WindowApi.h"

namespace kx {

struct ForegroundSnapshot {
    Text caption;    // at most 254 characters, trimmed
    Text classKey;   // "#" + class name (at most 254 characters), trimmed; "#" when there is none
    Text imagePath;  // drive-letter path, also past 260 characters, trimmed; empty when unknown
};

// The seam parts the inspection uses.
struct InspectionApi {
    IWindows& windows;
    IProcesses& processes;
    ISystemInfo& system;
    ILibraries& libraries;
    // A process whose path cannot be had leaves a line here (the path stays empty).
    DebugTrace* trace = nullptr;
};

// The image path read last, with the window and process it belongs to.
struct ImagePathMemo {
    Hwnd window = 0;
    std::uint32_t processId = 0;
    Text path;
};

// Never fails: a null window, or a query that fails, leaves its text empty.
// With a memo, the image path is read only when the window or its process
// differs from the memo's (a path that could not be read is asked again).
ForegroundSnapshot TakeForegroundSnapshot(const InspectionApi& api, Hwnd window, ImagePathMemo* memo = nullptr);

// The image path of the window's process; empty on any failure.
Text GetWindowProcessPath(const InspectionApi& api, Hwnd window);
// The image path of an open process (opened with the query rights of the
// Windows release versionIndex stands for); empty when it cannot be read. Throws
// only when memory runs out.
Text ProcessImagePath(const InspectionApi& api, KHandle process, int versionIndex);

// Replaces the volume device part of a kernel path ("\Device\HarddiskVolume1\")
// by its drive root ("C:\"). A path on no listed drive comes back unchanged.
Text DevicePathToDrivePath(ISystemInfo& system, const Text& path);

}  // namespace kx
