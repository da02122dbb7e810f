// The load of the busiest logical processor over one interval, from the
// per-processor idle and busy times that ntdll reports for each processor
// group (SystemProcessorPerformanceInformation).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/DebugApi.h"
#include "platform/LibraryApi.h"
#include "platform/SystemApi.h"

namespace kx {

namespace w32 {
constexpr std::uint32_t kSystemProcessorPerformanceInformation = 8;
// SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION: IdleTime, KernelTime (which
// includes the idle time), UserTime, DpcTime, InterruptTime (8 bytes each,
// 100-ns units), InterruptCount and padding: 48 bytes in every process.
constexpr std::uint32_t kProcessorPerformanceRecordLength = 48;
constexpr std::uint32_t kMaxProcessorsPerGroup = 64;
}  // namespace w32

// One logical processor's times since the system started, 100-ns units.
struct ProcessorTimes {
    std::int64_t idle = 0;
    std::int64_t kernel = 0;  // idle included
    std::int64_t user = 0;
};

// The load in percent (0 to 100) of the processor that was busiest between
// two readings of the same processors; nothing when the two readings do not
// hold the same processors or no processor's time advanced.
std::optional<double> BusiestLoad(const std::vector<ProcessorTimes>& before, const std::vector<ProcessorTimes>& now);

// The whole 48-byte records among length bytes of an answer, little-endian.
std::vector<ProcessorTimes> ParseProcessorRecords(const std::uint8_t* bytes, std::uint32_t length);

class BusiestCoreMeter {
public:
    // The most processor groups asked; Windows has at most 32.
    static constexpr std::uint16_t kMaxGroups = 32;

    BusiestCoreMeter(ISystemInfo& system, ILibraries& libraries, DebugTrace* trace = nullptr)
        : system_(system), libraries_(libraries), trace_(trace) {}

    // The busiest processor's load since the previous reading, 0 to 100;
    // nothing at the first reading and whenever the times cannot be had.
    // Never fails.
    std::optional<double> ReadBusiestLoad();

    // Every logical processor's times: one NtQuerySystemInformationEx per
    // group where it answers, else one NtQuerySystemInformation (the
    // processors of the caller's group, which is all of them on a system of
    // one group). False when neither answers.
    bool ReadProcessorTimes(std::vector<ProcessorTimes>* times);

private:
    bool FindEntries();
    bool ReadGroups(std::vector<ProcessorTimes>* times);

    ISystemInfo& system_;
    ILibraries& libraries_;
    DebugTrace* trace_;
    OwnedLibrary ntdll_;  // kept for the run: ntdll never leaves a process
    ProcAddress query_ = 0;
    ProcAddress queryEx_ = 0;
    bool entriesSought_ = false;
    // Groups that answered the first reading by group; 0 until then or when
    // the group query does not answer (then the plain query serves).
    std::uint16_t groups_ = 0;
    bool groupsSought_ = false;
    std::vector<ProcessorTimes> previous_;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace kx
