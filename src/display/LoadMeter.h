// The whole system's processor load, measured between two calls from the
// idle time of all processors and the system time.
#pragma once

#include <cstdint>

#include "platform/DebugApi.h"
#include "platform/LibraryApi.h"
#include "platform/SystemApi.h"

namespace kx {

// The last good reading; both 0 at start, and an idle time of 0 means that
// there is no previous reading.
struct LoadMeterState {
    std::int64_t PreviousIdleTime = 0;    // 100-ns units, all processors together
    std::int64_t PreviousSystemTime = 0;  // 100-ns units since 1601 UTC
};

namespace w32 {
constexpr std::uint32_t kSystemBasicInformation = 0;
constexpr std::uint32_t kSystemPerformanceInformation = 2;
constexpr std::uint32_t kSystemTimeOfDayInformation = 3;
}  // namespace w32

class LoadMeter {
public:
    // Lengths the queries are made with; the basic record's is the process's own.
    static constexpr std::uint32_t kBasicLength = w32::kSystemBasicInformationLength;
    static constexpr std::uint32_t kBasicProcessorCountOffset = w32::kSystemBasicNumberOfProcessorsOffset;
    static constexpr std::uint32_t kTimeOfDayLength = 32;
    static constexpr std::uint32_t kPerformanceLengthOld = 312;  // version index below 5
    static constexpr std::uint32_t kPerformanceLength = 1000;

    // trace, when given, receives a line for each query that fails.
    LoadMeter(ISystemInfo& system, ILibraries& libraries, DebugTrace* trace = nullptr)
        : system_(system), libraries_(libraries), trace_(trace) {}

    // The share of processor time that was not idle since the last good
    // reading, 0 to 100 (an idle interval gives 0.5). The first reading, and
    // every call that cannot measure, gives 0. Never fails.
    double GetSystemProcessorLoad();

    // NtQuerySystemInformation, looked up in "ntdll.dll" at the first call
    // and kept for the run (ntdll never leaves a process); a non-zero status
    // when the library or the entry is missing (asked again at the next
    // call) or the call cannot be made.
    long QuerySystemInformation(std::uint32_t infoClass, void* buffer, std::uint32_t length);

    const LoadMeterState& State() const { return state_; }

private:
    ISystemInfo& system_;
    ILibraries& libraries_;
    DebugTrace* trace_;

    // True when status is a failure, which then leaves a line.
    bool Failed(std::uint32_t infoClass, long status);
    LoadMeterState state_;
    OwnedLibrary ntdll_;
    ProcAddress entry_ = 0;
};

}  // namespace kx
