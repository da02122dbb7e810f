#include "engine/IdealProcessor.h"

#include <algorithm>
#include <cstring>
#include <string>

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

// PERF_INSTANCE_DEFINITION's name: its offset from the definition and its
// length in bytes, the final zero included.
constexpr std::uint64_t kInstanceNameOffset = 16;
constexpr std::uint64_t kInstanceNameLength = 20;
constexpr std::uint32_t kLongestProcessorName = 12;  // "65535,255" and room to spare

// A processor instance's name, "group,number" or "number", as the processor
// it stands for; false for the total ("_Total", "0,_Total") and anything else.
bool ParseInstanceName(const PerfView& data, std::uint64_t instanceAt, ProcessorNumber* processor) {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    if (!data.Read(instanceAt + kInstanceNameOffset, &offset) || !data.Read(instanceAt + kInstanceNameLength, &length)) {
        return false;
    }
    const std::uint32_t characters = std::min(length / 2, kLongestProcessorName);
    std::uint32_t fields[2] = {0, 0};
    int field = 0;
    bool digits = false;
    for (std::uint32_t k = 0; k < characters; ++k) {
        char16_t c = 0;
        if (!data.Read(instanceAt + offset + 2u * k, &c)) return false;
        if (c == 0) break;
        if (c == u',' && field == 0 && digits) {
            field = 1;
            digits = false;
        } else if (c >= u'0' && c <= u'9' && fields[field] < 100000) {
            fields[field] = fields[field] * 10 + static_cast<std::uint32_t>(c - u'0');
            digits = true;
        } else {
            return false;
        }
    }
    if (!digits) return false;
    const std::uint32_t group = field == 1 ? fields[0] : 0;
    const std::uint32_t number = fields[field];
    if (group > 0xFFFF || number > 0xFF) return false;
    *processor = ProcessorNumber{static_cast<std::uint16_t>(group), static_cast<std::uint8_t>(number)};
    return true;
}

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
    names_.clear();
    names_.reserve(static_cast<std::size_t>(count));
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
        InstanceName name;
        name.known = ParseInstanceName(data, instanceAt, &name.processor);
        names_.push_back(name);
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
    const auto trace = [this](const char* what) {
        if (api_.trace != nullptr) api_.trace->Line("ideal.sample", what);
    };
    try {
        std::uint32_t length = 0;
        if (!QueryPerformanceData(&length)) {
            trace("the performance data (value 238) could not be read");
            return;
        }
        std::int32_t instances = 0;
        std::int64_t sampleTime = 0;
        const Parse result = ParseBlock(length, &instances, &sampleTime);
        if (result == Parse::Failed) {
            trace("the performance data is malformed: the last readings stay");
            return;
        }
        if (result == Parse::NoObject) {
            trace("the performance data holds no processor object");
            return;
        }
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
        instanceNames_.swap(names_);
        previousSampleTime_ = currentSampleTime_;
        currentSampleTime_ = sampleTime;
    } catch (...) {
        // A sample that cannot be completed leaves the last readings in place.
        trace("a sample could not be completed");
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

KHandle ProcessorSampler::OpenThreadForIdealProcessor(std::uint32_t threadId, std::uint32_t access) {
    // OpenThread is missing from the oldest systems, so it is looked up by
    // name at each use; the thread handle outlives the library reference.
    OwnedLibrary kernel32(api_.libraries, api_.libraries.LoadLibraryW(u"kernel32.dll"));
    if (!kernel32) return 0;
    const ProcAddress entry = api_.libraries.GetProcAddress(kernel32.get(), "OpenThread");
    if (entry == 0) return 0;
    return api_.processes.CallOpenThread(entry, access, false, threadId);
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

ProcessorTopology ProcessorSampler::ReadTopology() {
    ProcessorTopology topology;
    OwnedLibrary kernel32(api_.libraries, api_.libraries.LoadLibraryW(u"kernel32.dll"));
    if (!kernel32) return topology;
    const ProcAddress entry = api_.libraries.GetProcAddress(kernel32.get(), "GetSystemCpuSetInformation");
    if (entry == 0) return topology;
    std::vector<CpuSetInfo> sets;
    if (!api_.system.CallGetSystemCpuSetInformation(entry, &sets) || sets.empty()) return topology;
    // The performance data lists the processors by group, then by number.
    std::stable_sort(sets.begin(), sets.end(), [](const CpuSetInfo& a, const CpuSetInfo& b) {
        return a.group != b.group ? a.group < b.group : a.logicalProcessorIndex < b.logicalProcessorIndex;
    });
    sets.erase(std::unique(sets.begin(), sets.end(),
                           [](const CpuSetInfo& a, const CpuSetInfo& b) {
                               return a.group == b.group && a.logicalProcessorIndex == b.logicalProcessorIndex;
                           }),
               sets.end());
    for (const CpuSetInfo& set : sets) {
        if (set.group != sets.front().group) topology.multiGroup = true;
    }
    topology.processors = std::move(sets);
    return topology;
}

std::int32_t ProcessorSampler::ChooseAmong(const std::vector<std::int32_t>& candidates) {
    if (candidates.empty()) return 0;
    std::int32_t chosen = candidates.front();
    double best = ProcessorUsage(chosen);
    for (const std::int32_t i : candidates) {
        const double usage = ProcessorUsage(i);
        if (usage < best) {
            chosen = i;
            best = usage;
        }
    }
    return chosen;
}

IdealMove ProcessorSampler::SetWindowIdealProcessor(Hwnd window, const std::vector<ProcessorNumber>* within) {
    IdealMove move;
    try {
        SampleProcessorTimes();
        ProcessorUsage(0);
        const std::int32_t count = ProcessorInstanceCount();
        const ProcessorTopology topology = count > 2 ? ReadTopology() : ProcessorTopology{};

        OwnedLibrary kernel32(api_.libraries, count > 2 ? api_.libraries.LoadLibraryW(u"kernel32.dll") : 0);
        ProcAddress setEx = 0;
        ProcAddress groupOf = 0;
        if (kernel32) {
            setEx = api_.libraries.GetProcAddress(kernel32.get(), "SetThreadIdealProcessorEx");
            groupOf = api_.libraries.GetProcAddress(kernel32.get(), "GetThreadGroupAffinity");
        }

        // The processor each instance stands for: by its name ("group,number"
        // or "number"); where the names say nothing, by its position, in the
        // order of the CPU sets when the system describes them.
        std::vector<std::int32_t> positions;
        std::vector<ProcessorNumber> processorOf(static_cast<std::size_t>(std::max(count, 0)));
        const bool named = instanceNames_.size() == processorOf.size() &&
                           std::any_of(instanceNames_.begin(), instanceNames_.end(),
                                       [](const InstanceName& n) { return n.known; });
        bool multiGroup = topology.multiGroup;
        for (std::int32_t i = 0; i <= count - 2 || (named && i < count); ++i) {
            const auto k = static_cast<std::size_t>(i);
            if (named) {
                if (!instanceNames_[k].known) continue;
                processorOf[k] = instanceNames_[k].processor;
            } else if (!topology.processors.empty()) {
                if (k >= topology.processors.size()) break;
                processorOf[k] = ProcessorNumber{topology.processors[k].group, topology.processors[k].logicalProcessorIndex};
            } else {
                if (i >= static_cast<std::int32_t>(api_.plainCallProcessors)) break;
                processorOf[k] = ProcessorNumber{0, static_cast<std::uint8_t>(i)};
            }
            if (processorOf[k].group != 0) multiGroup = true;
            positions.push_back(i);
        }

        // Threads are asked for their group only where there is more than one.
        const bool checkGroups = multiGroup && groupOf != 0;
        const std::uint32_t access =
            checkGroups ? w32::kThreadSetInformation | w32::kThreadQueryLimitedInformation : w32::kThreadSetInformation;
        const auto threadGroup = [&](KHandle thread, std::uint16_t* group) {
            return checkGroups && api_.processes.CallGetThreadGroupAffinity(groupOf, thread, group);
        };
        const std::uint32_t windowThread = api_.windows.GetWindowThreadProcessId(window, nullptr);
        std::uint16_t group = 0;
        if (checkGroups && windowThread != 0) {
            OwnedHandle thread(api_.processes, OpenThreadForIdealProcessor(windowThread, access));
            if (thread) threadGroup(thread.get(), &group);
        }

        // The candidates: processors of the window thread's group that a call
        // can name, neither parked nor allocated, inside the set the process
        // was given (when one of its processors is in that group), and on a
        // hybrid processor of the fastest class only.
        const auto canPlain = [&](const ProcessorNumber& p) {
            return !multiGroup && p.number < api_.plainCallProcessors;
        };
        const auto described = [&](const ProcessorNumber& p) -> const CpuSetInfo* {
            for (const CpuSetInfo& set : topology.processors) {
                if (set.group == p.group && set.logicalProcessorIndex == p.number) return &set;
            }
            return nullptr;
        };
        const auto inSet = [&](const ProcessorNumber& p) {
            return std::find(within->begin(), within->end(), p) != within->end();
        };
        std::vector<std::int32_t> candidates;
        for (const std::int32_t i : positions) {
            const ProcessorNumber& p = processorOf[static_cast<std::size_t>(i)];
            const CpuSetInfo* info = described(p);
            if (p.group != group || (!canPlain(p) && setEx == 0)) continue;
            if (info != nullptr && (info->flags & (w32::kCpuSetParked | w32::kCpuSetAllocated)) != 0) continue;
            candidates.push_back(i);
        }
        if (within != nullptr && !within->empty() &&
            std::any_of(candidates.begin(), candidates.end(),
                        [&](std::int32_t i) { return inSet(processorOf[static_cast<std::size_t>(i)]); })) {
            candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                            [&](std::int32_t i) { return !inSet(processorOf[static_cast<std::size_t>(i)]); }),
                             candidates.end());
        }
        std::uint8_t fastest = 0;
        for (const std::int32_t i : candidates) {
            if (const CpuSetInfo* info = described(processorOf[static_cast<std::size_t>(i)])) {
                fastest = std::max(fastest, info->efficiencyClass);
            }
        }
        candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                        [&](std::int32_t i) {
                                            const CpuSetInfo* info = described(processorOf[static_cast<std::size_t>(i)]);
                                            return info != nullptr && info->efficiencyClass != fastest;
                                        }),
                         candidates.end());
        if (candidates.empty()) {
            // Nothing is known of the processors: the positions the plain call can name.
            for (std::int32_t i = 0; i <= count - 2 && i < static_cast<std::int32_t>(api_.plainCallProcessors); ++i) {
                candidates.push_back(i);
                processorOf[static_cast<std::size_t>(i)] = ProcessorNumber{0, static_cast<std::uint8_t>(i)};
            }
            multiGroup = false;
        }
        move.instance = ChooseAmong(candidates);
        if (move.instance >= 0 && static_cast<std::size_t>(move.instance) < processorOf.size()) {
            move.processor = processorOf[static_cast<std::size_t>(move.instance)];
        }
        move.ex = !canPlain(move.processor);

        const auto setThread = [&](std::uint32_t threadId) {
            OwnedHandle thread(api_.processes, OpenThreadForIdealProcessor(threadId, access));
            if (!thread) return;
            std::uint16_t itsGroup = 0;
            // Never into another group: a thread of another group keeps its processor.
            if (threadGroup(thread.get(), &itsGroup) && itsGroup != move.processor.group) return;
            ThreadIdeal before;
            before.threadId = threadId;
            before.ex = move.ex;
            bool set = false;
            if (move.ex) {
                set = api_.processes.CallSetThreadIdealProcessorEx(setEx, thread.get(), move.processor, &before.ideal);
            } else {
                const std::uint32_t previous = api_.processes.SetThreadIdealProcessor(thread.get(), move.processor.number);
                set = previous != 0xFFFFFFFFu;
                before.ideal.number = static_cast<std::uint8_t>(previous);
            }
            const bool known = std::any_of(move.previous.begin(), move.previous.end(),
                                           [&](const ThreadIdeal& t) { return t.threadId == threadId; });
            if (set && !known) move.previous.push_back(before);
        };

        if (windowThread != 0) setThread(windowThread);
        std::uint32_t processId = 0;
        api_.windows.GetWindowThreadProcessId(window, &processId);
        move.processId = processId;
        // A window that is gone has no process; the threads that the snapshot
        // lists under id 0 belong to the system's idle process.
        if (processId != 0) {
            OwnedHandle snapshot(api_.processes,
                                 api_.processes.CreateToolhelp32Snapshot(w32::kTh32csSnapThread, 0));
            if (snapshot) {
                ThreadEntry32 entry;
                entry.dwSize = 28;
                for (bool more = api_.processes.Thread32First(snapshot.get(), &entry); more;
                     more = api_.processes.Thread32Next(snapshot.get(), &entry)) {
                    if (entry.th32OwnerProcessID == processId) setThread(entry.th32ThreadID);
                }
            }
        }
        if (api_.trace != nullptr) {
            const std::string where = "processor " + std::to_string(move.instance) + " (group " +
                                      std::to_string(move.processor.group) + ", number " +
                                      std::to_string(move.processor.number) + (move.ex ? ", Ex" : "") + ")";
            // Only a move that happened is told as one.
            if (!move.previous.empty()) {
                api_.trace->Event("ideal", where + " set on " + std::to_string(move.previous.size()) + " threads");
            } else if (processId != 0) {
                api_.trace->Line("ideal", where + " could not be set on any thread");
            }
        }
    } catch (...) {
        // The remaining steps are skipped.
    }
    return move;
}

void ProcessorSampler::RestoreThreadIdeals(const std::vector<ThreadIdeal>& threads) {
    OwnedLibrary kernel32(api_.libraries, api_.libraries.LoadLibraryW(u"kernel32.dll"));
    const ProcAddress setEx = kernel32 ? api_.libraries.GetProcAddress(kernel32.get(), "SetThreadIdealProcessorEx") : 0;
    for (const ThreadIdeal& t : threads) {
        try {
            OwnedHandle thread(api_.processes, OpenThreadForIdealProcessor(t.threadId));
            if (!thread) continue;
            if (t.ex) {
                if (setEx != 0) api_.processes.CallSetThreadIdealProcessorEx(setEx, thread.get(), t.ideal, nullptr);
            } else {
                api_.processes.SetThreadIdealProcessor(thread.get(), t.ideal.number);
            }
        } catch (...) {
            // That thread keeps the processor it has.
        }
    }
}

}  // namespace kx
