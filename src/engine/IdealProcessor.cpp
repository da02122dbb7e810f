#include "engine/IdealProcessor.h"

#include <cstring>

namespace kx {

namespace {

constexpr std::uint32_t kProcessorObjectIndex = 238;
constexpr std::uint32_t kProcessorTimeCounterIndex = 6;

// The performance data as returned: every field is read only when it lies
// wholly inside the length the query returned, and through memcpy, since
// nothing in the data promises alignment. Offsets are 64-bit so that adding
// two 32-bit lengths cannot wrap.
class PerfView {
public:
    PerfView(const std::uint8_t* data, std::uint32_t length) : data_(data), length_(length) {}
    template <typename T>
    bool Read(std::uint64_t offset, T* value) const {
        if (offset > length_ || length_ - offset < sizeof(T)) return false;
        std::memcpy(value, data_ + offset, sizeof(T));
        return true;
    }
    std::uint64_t Length() const { return length_; }

private:
    const std::uint8_t* data_;
    std::uint64_t length_;
};

// Offsets of the fields read, by structure.
namespace block {
constexpr std::uint64_t kHeaderLength = 24;
constexpr std::uint64_t kNumObjectTypes = 28;
constexpr std::uint64_t kSystemTime = 36;
}  // namespace block
namespace object {
constexpr std::uint64_t kTotalByteLength = 0;
constexpr std::uint64_t kDefinitionLength = 4;
constexpr std::uint64_t kHeaderLength = 8;
constexpr std::uint64_t kObjectNameTitleIndex = 12;
constexpr std::uint64_t kNumCounters = 32;
constexpr std::uint64_t kNumInstances = 40;
}  // namespace object
namespace counter {
constexpr std::uint64_t kByteLength = 0;
constexpr std::uint64_t kCounterNameTitleIndex = 4;
constexpr std::uint64_t kCounterOffset = 36;
}  // namespace counter

// The smallest room one instance takes: its definition's length field and
// its counter block's length field.
constexpr std::uint32_t kMinInstanceBytes = 8;

// The signed 64-bit difference a - b, wrapping rather than overflowing.
std::int64_t Difference(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

}  // namespace

ProcessorSampler::ProcessorSampler(const IdealProcessorApi& api)
    : api_(api), perfBuffer_(kPerfBufferInitialSize, 0) {}

ProcessorSampler::~ProcessorSampler() {
    if (queried_) api_.registry.RegCloseKey(w32::kHkeyPerformanceData);
}

bool ProcessorSampler::QueryPerformanceData(std::uint32_t* length) {
    queried_ = true;
    std::uint32_t type = 0;
    std::uint32_t size = perfBufferSize_;
    long status = api_.registry.RegQueryValueExW(w32::kHkeyPerformanceData, u"238", &type, perfBuffer_.data(), &size);
    while (status == w32::kErrorMoreData) {
        if (perfBufferSize_ > kPerfBufferCeiling - kPerfBufferGrowth) return false;
        try {
            perfBuffer_.resize(perfBufferSize_ + kPerfBufferGrowth, 0);
        } catch (...) {
            return false;  // the buffer and its size stay as they were
        }
        perfBufferSize_ += kPerfBufferGrowth;
        size = perfBufferSize_;
        status = api_.registry.RegQueryValueExW(w32::kHkeyPerformanceData, u"238", &type, perfBuffer_.data(), &size);
    }
    if (status != w32::kErrorSuccess) return false;
    *length = size < perfBufferSize_ ? size : perfBufferSize_;
    return true;
}

ProcessorSampler::Parse ProcessorSampler::ParseBlock(std::uint32_t length, std::int32_t* instances,
                                                     std::int64_t* sampleTime) {
    const PerfView data(perfBuffer_.data(), length);

    std::uint32_t headerLength = 0;
    std::uint32_t numObjectTypes = 0;
    std::uint16_t timeFields[8] = {};
    if (!data.Read(block::kHeaderLength, &headerLength) || !data.Read(block::kNumObjectTypes, &numObjectTypes) ||
        !data.Read(block::kSystemTime, &timeFields)) {
        return Parse::Failed;
    }

    // The processor object: the first of at most NumObjectTypes objects.
    std::uint64_t objectAt = headerLength;
    bool found = false;
    for (std::uint32_t k = 0; k < numObjectTypes; ++k) {
        std::uint32_t totalByteLength = 0;
        std::uint32_t titleIndex = 0;
        if (!data.Read(objectAt + object::kTotalByteLength, &totalByteLength) ||
            !data.Read(objectAt + object::kObjectNameTitleIndex, &titleIndex)) {
            return Parse::Failed;
        }
        if (titleIndex == kProcessorObjectIndex) {
            found = true;
            break;
        }
        if (k + 1 < numObjectTypes && totalByteLength == 0) return Parse::Failed;  // would visit itself again
        objectAt += totalByteLength;
    }
    if (!found) return Parse::NoObject;

    std::uint32_t definitionLength = 0;
    std::uint32_t objectHeaderLength = 0;
    std::uint32_t numCounters = 0;
    std::int32_t numInstances = 0;
    if (!data.Read(objectAt + object::kDefinitionLength, &definitionLength) ||
        !data.Read(objectAt + object::kHeaderLength, &objectHeaderLength) ||
        !data.Read(objectAt + object::kNumCounters, &numCounters) ||
        !data.Read(objectAt + object::kNumInstances, &numInstances)) {
        return Parse::Failed;
    }
    // The first sample fixes the count; every later one walks exactly that
    // many instances, so it must report at least that many.
    const std::int32_t count = instanceCount_ < 0 ? numInstances : instanceCount_;
    if (count < 0 || numInstances < count) return Parse::Failed;
    // More instances than the data could hold is a count not to be believed.
    if (static_cast<std::uint64_t>(count) > data.Length() / kMinInstanceBytes) return Parse::Failed;
    *instances = count;

    // The processor time counter: the first of at most NumCounters definitions.
    std::uint64_t definitionAt = objectAt + objectHeaderLength;
    std::uint32_t counterOffset = 0;
    found = false;
    for (std::uint32_t k = 0; k < numCounters; ++k) {
        std::uint32_t byteLength = 0;
        std::uint32_t nameIndex = 0;
        if (!data.Read(definitionAt + counter::kByteLength, &byteLength) ||
            !data.Read(definitionAt + counter::kCounterNameTitleIndex, &nameIndex)) {
            return Parse::Failed;
        }
        if (nameIndex == kProcessorTimeCounterIndex) {
            if (!data.Read(definitionAt + counter::kCounterOffset, &counterOffset)) return Parse::Failed;
            found = true;
            break;
        }
        if (k + 1 < numCounters && byteLength == 0) return Parse::Failed;
        definitionAt += byteLength;
    }
    if (!found) return Parse::NoCounter;

    // The instances, each definition followed by its counter block.
    values_.clear();
    values_.reserve(static_cast<std::size_t>(count));
    std::uint64_t instanceAt = objectAt + definitionLength;
    for (std::int32_t i = 0; i < count; ++i) {
        std::uint32_t instanceLength = 0;
        std::uint32_t blockLength = 0;
        std::int64_t value = 0;
        if (!data.Read(instanceAt, &instanceLength) || instanceLength < 4) return Parse::Failed;
        const std::uint64_t blockAt = instanceAt + instanceLength;
        if (!data.Read(blockAt, &blockLength) || blockLength < 4) return Parse::Failed;
        if (!data.Read(blockAt + counterOffset, &value)) return Parse::Failed;
        values_.push_back(value);
        instanceAt = blockAt + blockLength;
    }

    SystemTime time;
    time.wYear = timeFields[0];
    time.wMonth = timeFields[1];
    time.wDayOfWeek = timeFields[2];
    time.wDay = timeFields[3];
    time.wHour = timeFields[4];
    time.wMinute = timeFields[5];
    time.wSecond = timeFields[6];
    time.wMilliseconds = timeFields[7];
    if (!api_.system.SystemTimeToFileTime(time, sampleTime)) return Parse::Failed;
    return Parse::Values;
}

void ProcessorSampler::SampleProcessorTimes() {
    try {
        std::uint32_t length = 0;
        if (!QueryPerformanceData(&length)) return;
        std::int32_t instances = 0;
        std::int64_t sampleTime = 0;
        const Parse result = ParseBlock(length, &instances, &sampleTime);
        if (result == Parse::Failed || result == Parse::NoObject) return;
        if (instanceCount_ < 0) {
            currentValues_.assign(static_cast<std::size_t>(instances), 0);
            previousValues_.assign(static_cast<std::size_t>(instances), 0);
            instanceCount_ = instances;
        }
        if (result == Parse::NoCounter) return;
        for (std::size_t i = 0; i < values_.size(); ++i) {
            previousValues_[i] = currentValues_[i];
            currentValues_[i] = values_[i];
        }
        previousSampleTime_ = currentSampleTime_;
        currentSampleTime_ = sampleTime;
    } catch (...) {
        // A sample that cannot be completed leaves the last readings in place.
    }
}

std::int32_t ProcessorSampler::ProcessorInstanceCount() {
    if (instanceCount_ < 0) SampleProcessorTimes();
    return instanceCount_;
}

double ProcessorSampler::ProcessorUsage(std::int32_t index) {
    if (instanceCount_ < 0) SampleProcessorTimes();
    if (index < 0 || index >= instanceCount_) return 0.0;
    if (currentSampleTime_ == previousSampleTime_) return 0.0;
    const auto i = static_cast<std::size_t>(index);
    const auto idle = static_cast<double>(Difference(currentValues_[i], previousValues_[i]));
    const auto elapsed = static_cast<double>(Difference(currentSampleTime_, previousSampleTime_));
    return (1.0 - idle / elapsed) * 100.0;
}

KHandle ProcessorSampler::OpenThreadForIdealProcessor(std::uint32_t threadId) {
    // OpenThread is missing from the oldest systems, so it is looked up by
    // name at each use; the thread handle outlives the library reference.
    OwnedLibrary kernel32(api_.libraries, api_.libraries.LoadLibraryW(u"kernel32.dll"));
    if (!kernel32) return 0;
    const ProcAddress entry = api_.libraries.GetProcAddress(kernel32.get(), "OpenThread");
    if (entry == 0) return 0;
    return api_.processes.CallOpenThread(entry, w32::kThreadSetInformation, false, threadId);
}

void ProcessorSampler::SetWindowThreadIdealProcessor(Hwnd window, std::uint32_t processor) {
    try {
        const std::uint32_t threadId = api_.windows.GetWindowThreadProcessId(window, nullptr);
        if (threadId == 0) return;
        OwnedHandle thread(api_.processes, OpenThreadForIdealProcessor(threadId));
        if (thread) api_.processes.SetThreadIdealProcessor(thread.get(), processor);
    } catch (...) {
        // The thread keeps its ideal processor.
    }
}

void ProcessorSampler::SetWindowIdealProcessor(Hwnd window) {
    try {
        SampleProcessorTimes();
        double best = ProcessorUsage(0);
        std::uint32_t chosen = 0;
        const std::int32_t count = ProcessorInstanceCount();
        if (count > 2) {
            // The last instance is the total over all processors: never chosen.
            for (std::int32_t i = 0; i <= count - 2; ++i) {
                const double usage = ProcessorUsage(i);
                if (usage < best) {
                    chosen = static_cast<std::uint32_t>(i);
                    best = usage;
                }
            }
        }
        SetWindowThreadIdealProcessor(window, chosen);

        std::uint32_t processId = 0;
        api_.windows.GetWindowThreadProcessId(window, &processId);
        // A window that is gone has no process; the threads that the snapshot
        // lists under id 0 belong to the system's idle process.
        if (processId == 0) return;
        OwnedHandle snapshot(api_.processes, api_.processes.CreateToolhelp32Snapshot(w32::kTh32csSnapThread, 0));
        if (!snapshot) return;
        ThreadEntry32 entry;
        entry.dwSize = 28;
        for (bool more = api_.processes.Thread32First(snapshot.get(), &entry); more;
             more = api_.processes.Thread32Next(snapshot.get(), &entry)) {
            if (entry.th32OwnerProcessID != processId) continue;
            OwnedHandle thread(api_.processes, OpenThreadForIdealProcessor(entry.th32ThreadID));
            if (thread) api_.processes.SetThreadIdealProcessor(thread.get(), chosen);
        }
    } catch (...) {
        // The remaining steps are skipped.
    }
}

}  // namespace kx
