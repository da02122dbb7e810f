// Ideal processor selection: per-processor idle time sampled from the
// performance data (object 238, counter 6), and the least-used processor
// made the ideal processor of every thread of a window's process.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/DebugApi.h"
#include "platform/LibraryApi.h"
#include "platform/ProcessApi.h"
#include "platform/RegistryApi.h"
#include "platform/SystemApi.h"
#include "platform/Types.h"
#include "platform/WindowApi.h"

namespace kx {

// How many processors of its group SetThreadIdealProcessor can name for this
// program: a 32-bit program on 64-bit Windows is given a view of 32
// processors, a 64-bit one a whole group of 64.
constexpr std::uint32_t kPlainCallProcessors = sizeof(void*) == 4 ? 32u : 64u;

// The seam parts the sampler and the thread moves use.
struct IdealProcessorApi {
    IRegistry& registry;
    ISystemInfo& system;
    IWindows& windows;
    IProcesses& processes;
    ILibraries& libraries;
    // Each move leaves one line here ("ideal": the processor and the threads set).
    DebugTrace* trace = nullptr;
    std::uint32_t plainCallProcessors = kPlainCallProcessors;
};

// A thread's ideal processor before a move set it: what a restore puts back.
struct ThreadIdeal {
    std::uint32_t threadId = 0;
    ProcessorNumber ideal;
    bool ex = false;  // read and put back with SetThreadIdealProcessorEx
};

// What one SetWindowIdealProcessor did.
struct IdealMove {
    std::uint32_t processId = 0;  // the window's process; 0 when the window is gone
    std::int32_t instance = 0;    // the chosen instance position
    ProcessorNumber processor;  // the processor it stands for
    bool ex = false;            // set with SetThreadIdealProcessorEx
    // Every thread whose ideal processor was set, once each, with the one it had.
    std::vector<ThreadIdeal> previous;
};

// The logical processors as the CPU-set information lists them, in the
// order of the performance data's instances (by group, then number): empty
// where the information is missing (before Windows 10).
struct ProcessorTopology {
    std::vector<CpuSetInfo> processors;
    bool multiGroup = false;
};

constexpr std::uint32_t kPerfBufferInitialSize = 8192;
constexpr std::uint32_t kPerfBufferGrowth = 4096;
// Performance data larger than this is not believed: the query counts as failed.
constexpr std::uint32_t kPerfBufferCeiling = 16u * 1024u * 1024u;

class ProcessorSampler {
public:
    explicit ProcessorSampler(const IdealProcessorApi& api);
    // Lets the platform unload the counter libraries the queries loaded.
    ~ProcessorSampler();
    ProcessorSampler(const ProcessorSampler&) = delete;
    ProcessorSampler& operator=(const ProcessorSampler&) = delete;

    // Takes one sample. A query that fails, or data that do not hold
    // together within the length the query returned, change nothing.
    void SampleProcessorTimes();
    // The number of instances (processors plus the total); -1 until a sample
    // has found the processor object. Samples first when it is still -1.
    std::int32_t ProcessorInstanceCount();
    // Percentage of the last interval the instance was not idle; 0 for an
    // index outside the instances or when both samples carry the same time.
    // Not clamped.
    double ProcessorUsage(std::int32_t index);
    // Sets the ideal processor of the thread that created the window.
    void SetWindowThreadIdealProcessor(Hwnd window, std::uint32_t processor);
    // Samples, chooses the least-used processor (never the total, the lower
    // position on a tie) and makes it ideal for the window's thread and for
    // every thread of its process. Where the system describes its processors
    // (Windows 10 and later), the choice is made among the processors of the
    // window thread's group and, on a hybrid processor, of the fastest
    // efficiency class only, and each is set with the call that can name it.
    // within: the processors the process was given (its default CPU set);
    // the choice is made among those of them that qualify, when any does.
    IdealMove SetWindowIdealProcessor(Hwnd window, const std::vector<ProcessorNumber>* within = nullptr);
    // Puts each thread's ideal processor back; a thread that is gone is skipped.
    void RestoreThreadIdeals(const std::vector<ThreadIdeal>& threads);

    std::uint32_t PerfBufferSize() const { return perfBufferSize_; }
    std::int32_t InstanceCount() const { return instanceCount_; }
    const std::vector<std::int64_t>& CurrentValues() const { return currentValues_; }
    const std::vector<std::int64_t>& PreviousValues() const { return previousValues_; }
    std::int64_t CurrentSampleTime() const { return currentSampleTime_; }
    std::int64_t PreviousSampleTime() const { return previousSampleTime_; }

private:
    enum class Parse { Failed, NoObject, NoCounter, Values };
    // Queries value "238" into the buffer; false when the query fails.
    bool QueryPerformanceData(std::uint32_t* length);
    // Reads the block's first `length` bytes; on Values, values_ and
    // *sampleTime hold the new reading; *instances is the count to keep.
    Parse ParseBlock(std::uint32_t length, std::int32_t* instances, std::int64_t* sampleTime);
    // OpenThread, looked up in kernel32 at each use; 0 when it cannot be had.
    KHandle OpenThreadForIdealProcessor(std::uint32_t threadId, std::uint32_t access = w32::kThreadSetInformation);
    ProcessorTopology ReadTopology();
    // The instance chosen the way the platform's plain call understands it:
    // positions 0 .. count - 2, the lower one on a tie.
    std::int32_t ChooseAmong(const std::vector<std::int32_t>& candidates);

    IdealProcessorApi api_;
    std::vector<std::uint8_t> perfBuffer_;
    std::uint32_t perfBufferSize_ = kPerfBufferInitialSize;
    std::int32_t instanceCount_ = -1;
    std::vector<std::int64_t> currentValues_;
    std::vector<std::int64_t> previousValues_;
    std::int64_t currentSampleTime_ = 0;
    std::int64_t previousSampleTime_ = 0;
    std::vector<std::int64_t> values_;  // the reading being taken, kept to avoid reallocating
    // The processor each instance's name gives, at the last sample and at the one being taken.
    struct InstanceName {
        bool known = false;  // false: the total, or a name that names no processor
        ProcessorNumber processor;
    };
    std::vector<InstanceName> instanceNames_;
    std::vector<InstanceName> names_;
    bool queried_ = false;
};

}  // namespace kx
