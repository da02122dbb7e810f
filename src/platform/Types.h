// Portable types shared by the whole program and its platform seam.
//
// Window handles are 32-bit values on every Windows the program runs on
// (a 32-bit process, and user32 handles fit 32 bits on 64-bit Windows too).
// Every other platform handle (process, thread, key, library, icon, menu,
// snapshot, internet handle) is carried as an opaque 64-bit value; 0 is none.
// Text is UTF-16 throughout.
#pragma once

#include <cstdint>
#include <string>

namespace kx {

using Hwnd = std::uint32_t;
using KHandle = std::uint64_t;
using ProcAddress = std::uint64_t;  // an entry point found by GetProcAddress; 0 is none
using Text = std::u16string;

// Win32 status codes and constants the program uses, under names of their
// own so that they never collide with the macros of <windows.h>.
namespace w32 {
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidParameter = 87;
constexpr long kErrorMoreData = 234;

// HRESULTs and NTSTATUS values are 32-bit; a long is 64-bit on some hosts, so
// their sign is taken from the low 32 bits.
inline bool HrFailed(long result) {
    return (static_cast<std::uint32_t>(static_cast<std::uint64_t>(result)) & 0x80000000u) != 0;
}

// Registry
constexpr KHandle kHkeyCurrentUser = 0x80000001u;
constexpr KHandle kHkeyLocalMachine = 0x80000002u;
constexpr KHandle kHkeyPerformanceData = 0x80000004u;
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyWrite = 0x20006;
constexpr std::uint32_t kKeyWow64_64Key = 0x100;
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegNotifyChangeName = 0x1;
constexpr std::uint32_t kRegNotifyChangeLastSet = 0x4;

// Processes and threads
constexpr std::uint32_t kProcessSetInformation = 0x200;
constexpr std::uint32_t kProcessQueryInformation = 0x400;
constexpr std::uint32_t kProcessVmRead = 0x10;
constexpr std::uint32_t kProcessQueryLimitedInformation = 0x1000;
constexpr std::uint32_t kProcessSetLimitedInformation = 0x2000;
constexpr std::uint32_t kThreadSetInformation = 0x20;
constexpr std::uint32_t kThreadQueryLimitedInformation = 0x800;
constexpr std::uint32_t kTh32csSnapThread = 4;

constexpr std::uint32_t kIdlePriorityClass = 0x40;
constexpr std::uint32_t kBelowNormalPriorityClass = 0x4000;
constexpr std::uint32_t kNormalPriorityClass = 0x20;
constexpr std::uint32_t kAboveNormalPriorityClass = 0x8000;
constexpr std::uint32_t kHighPriorityClass = 0x80;
constexpr std::uint32_t kRealtimePriorityClass = 0x100;

// Files
constexpr std::uint32_t kGenericRead = 0x80000000u;
constexpr std::uint32_t kFileShareRead = 1;
constexpr std::uint32_t kOpenExisting = 3;
constexpr std::uint32_t kGenericWrite = 0x40000000u;
constexpr std::uint32_t kCreateAlways = 2;
constexpr std::uint32_t kCreateNew = 1;
constexpr std::uint32_t kMoveFileReplaceExisting = 0x1;
constexpr std::uint32_t kMoveFileWriteThrough = 0x8;
constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
constexpr std::uint32_t kFileAttributeDirectory = 0x10;
constexpr std::uint32_t kFileAttributeNormal = 0x80;
// CreateFileW: open a link itself, never what it points to.
constexpr std::uint32_t kFileFlagOpenReparsePoint = 0x00200000u;

// Window messages and commands
constexpr std::uint32_t kWmClose = 0x0010;
constexpr std::uint32_t kWmQueryEndSession = 0x0011;
constexpr std::uint32_t kWmEndSession = 0x0016;
constexpr std::uint32_t kWmMouseMove = 0x0200;
constexpr std::uint32_t kWmLButtonDown = 0x0201;
constexpr std::uint32_t kWmLButtonUp = 0x0202;
constexpr std::uint32_t kWmLButtonDblClk = 0x0203;
constexpr std::uint32_t kWmRButtonDown = 0x0204;
constexpr std::uint32_t kWmRButtonUp = 0x0205;
constexpr std::uint32_t kWmRButtonDblClk = 0x0206;
constexpr std::uint32_t kWmMButtonDown = 0x0207;
constexpr std::uint32_t kWmMButtonUp = 0x0208;
constexpr std::uint32_t kWmMButtonDblClk = 0x0209;
constexpr std::uint32_t kWmUser = 0x0400;
constexpr std::uint32_t kNinBalloonShow = kWmUser + 2;
constexpr std::uint32_t kNinBalloonHide = kWmUser + 3;
constexpr std::uint32_t kNinBalloonTimeout = kWmUser + 4;
constexpr std::uint32_t kNinBalloonUserClick = kWmUser + 5;
constexpr int kSwShow = 5;
constexpr int kSwRestore = 9;
constexpr std::uint32_t kSmtoAbortIfHung = 0x2;

// Metrics
constexpr int kSmCxSmIcon = 49;
constexpr int kSmCySmIcon = 50;
}  // namespace w32

// SYSTEMTIME, field for field.
struct SystemTime {
    std::uint16_t wYear = 0;
    std::uint16_t wMonth = 0;
    std::uint16_t wDayOfWeek = 0;
    std::uint16_t wDay = 0;
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;
};

}  // namespace kx
