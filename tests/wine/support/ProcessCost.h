// What a process costs, for the measuring tests: its private bytes, its
// handles and its processor time, and the processor time of the Linux
// processes that do the Wine prefix's share of its work (the wineserver and
// explorer, which draws the taskbar).
#pragma once

#include <windows.h>

#include <string>

namespace kxtest {

// This process's private bytes (its commit charge). Windows reports the same
// figure as PrivateUsage and PagefileUsage; Wine 8 fills only the latter.
// 0 when it cannot be had.
SIZE_T PrivateBytes();

// This process's open kernel handles: GetProcessHandleCount where the system
// counts them; under Wine, which answers 0, counted by asking every slot of
// the process's handle table whether it holds one.
DWORD OpenHandleCount();

// This process's processor time (user and kernel), in 100-ns units.
ULONGLONG OwnProcessorTime();

// The Linux process of this Wine prefix whose command line holds name
// ("wineserver", "explorer.exe", "KestrixTray.exe"); empty if none. Wine
// answers GetProcessTimes for another process with zeros; Z:\proc has them.
std::string LinuxPidOf(const std::string& name);
// That Linux process's processor time (utime and stime, clock ticks of
// 10 ms), in 100-ns units; 0 when it cannot be read.
ULONGLONG LinuxProcessorTime(const std::string& pid);

// That Linux process's processor time from its threads' own clocks (the
// first field of /proc/PID/task/*/schedstat, nanoseconds), in 100-ns units;
// 0 when it cannot be read. Threads that ended meanwhile are not counted.
ULONGLONG LinuxThreadClockTime(const std::string& pid);

// Handles every message waiting for this thread's windows.
void PumpMessages();

}  // namespace kxtest
