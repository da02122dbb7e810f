#include "engine/CorePlacement.h"

#include <algorithm>

namespace kx {

namespace {

constexpr std::uint8_t kInstructionCache = 1;
constexpr std::uint8_t kTraceCache = 3;

bool Usable(const CpuSetInfo& set) {
    return (set.flags & (w32::kCpuSetParked | w32::kCpuSetAllocated)) == 0;
}

// The size of the last-level cache each set shares; 0 where no cache
// record names its processor (a 32-bit program sees 32 of a group's 64).
std::vector<std::uint64_t> LastLevelSizes(const std::vector<CpuSetInfo>& sets, const std::vector<CacheInfo>& caches) {
    std::uint8_t lastLevel = 0;
    for (const CacheInfo& cache : caches) {
        if (cache.type != kInstructionCache && cache.type != kTraceCache) lastLevel = std::max(lastLevel, cache.level);
    }
    std::vector<std::uint64_t> sizes(sets.size(), 0);
    if (lastLevel == 0) return sizes;
    for (std::size_t i = 0; i < sets.size(); ++i) {
        const CpuSetInfo& set = sets[i];
        if (set.logicalProcessorIndex >= 64) continue;
        const std::uint64_t bit = std::uint64_t{1} << set.logicalProcessorIndex;
        for (const CacheInfo& cache : caches) {
            if (cache.level != lastLevel || cache.type == kInstructionCache || cache.type == kTraceCache) continue;
            const bool shares = std::any_of(cache.processors.begin(), cache.processors.end(), [&](const GroupMask& m) {
                return m.group == set.group && (m.mask & bit) != 0;
            });
            if (shares) sizes[i] = std::max(sizes[i], cache.size);
        }
    }
    return sizes;
}

// The sets for which keep(i) holds, when they differ from the others.
template <typename Keep>
CoreChoice Take(const std::vector<CpuSetInfo>& sets, PlacementKind kind, Keep keep) {
    CoreChoice choice;
    for (std::size_t i = 0; i < sets.size(); ++i) {
        if (!Usable(sets[i]) || !keep(i)) continue;
        choice.ids.push_back(sets[i].id);
        choice.processors.push_back(ProcessorNumber{sets[i].group, sets[i].logicalProcessorIndex});
    }
    if (choice.ids.size() < kMinPlacedProcessors) return CoreChoice{};
    choice.kind = kind;
    return choice;
}

}  // namespace

CoreChoice ChooseCores(const std::vector<CpuSetInfo>& sets, const std::vector<CacheInfo>& caches,
                       PlacementKind wanted) {
    if (sets.empty() || wanted == PlacementKind::None) return {};
    // Classes and sizes are compared over every processor, parked or not:
    // parking changes from second to second, the processors do not.
    std::uint8_t slowest = 0xFF;
    std::uint8_t fastest = 0;
    for (const CpuSetInfo& set : sets) {
        slowest = std::min(slowest, set.efficiencyClass);
        fastest = std::max(fastest, set.efficiencyClass);
    }
    const bool hybrid = slowest != fastest;
    const auto byClass = [&](PlacementKind kind, std::uint8_t cls) {
        return Take(sets, kind, [&](std::size_t i) { return sets[i].efficiencyClass == cls; });
    };
    const auto byCache = [&] {
        const std::vector<std::uint64_t> sizes = LastLevelSizes(sets, caches);
        std::uint64_t smallest = UINT64_MAX;
        std::uint64_t largest = 0;
        for (const std::uint64_t size : sizes) {
            if (size == 0) continue;
            smallest = std::min(smallest, size);
            largest = std::max(largest, size);
        }
        if (largest == 0 || smallest == largest) return CoreChoice{};
        return Take(sets, PlacementKind::LargeCache, [&](std::size_t i) { return sizes[i] == largest; });
    };
    switch (wanted) {
        case PlacementKind::Performance: return hybrid ? byClass(PlacementKind::Performance, fastest) : CoreChoice{};
        case PlacementKind::Efficiency: return hybrid ? byClass(PlacementKind::Efficiency, slowest) : CoreChoice{};
        case PlacementKind::LargeCache: return byCache();
        case PlacementKind::Auto: return hybrid ? byClass(PlacementKind::Performance, fastest) : byCache();
        case PlacementKind::None: break;
    }
    return {};
}

const char* CoresWords(PlacementKind kind) {
    switch (kind) {
        case PlacementKind::Performance: return "performance cores";
        case PlacementKind::LargeCache: return "large-cache cores";
        case PlacementKind::Efficiency: return "efficiency cores";
        case PlacementKind::None:
        case PlacementKind::Auto: break;
    }
    return "";
}

void CorePlacer::Trace(const std::string& line) const {
    if (api_.trace != nullptr) api_.trace->Event("placement", line);
}

void CorePlacer::Restore() {
    try {
        if (!placedHandle_) return;
        OwnedLibrary kernel32(api_.libraries, api_.libraries.LoadLibraryW(u"kernel32.dll"));
        const ProcAddress get = kernel32 ? api_.libraries.GetProcAddress(kernel32.get(), "GetProcessDefaultCpuSets") : 0;
        const ProcAddress set = kernel32 ? api_.libraries.GetProcAddress(kernel32.get(), "SetProcessDefaultCpuSets") : 0;
        std::vector<std::uint32_t> now;
        // A set the program (or the user) changed since is theirs to keep.
        const bool stillOurs = get == 0 || !api_.processes.CallGetProcessDefaultCpuSets(get, placedHandle_.get(), &now) ||
                               now == placed_.ids;
        if (set != 0 && stillOurs) {
            const std::uint32_t error = api_.processes.CallSetProcessDefaultCpuSets(set, placedHandle_.get(), earlier_);
            if (error != 0 && api_.trace != nullptr) {
                api_.trace->Line("placement", "the set of process " + std::to_string(placedProcess_) +
                                                  " cannot be put back: error " + std::to_string(error));
            }
        }
    } catch (...) {
        // The process keeps the set it has.
    }
    placedHandle_.reset();
    placedProcess_ = 0;
    placed_ = CoreChoice{};
    earlier_.clear();
}

PlacementResult CorePlacer::Place(std::uint32_t processId, PlacementKind wanted) {
    Restore();
    try {
        return Decide(processId, wanted);
    } catch (...) {
        return PlacementResult::Refused;
    }
}

PlacementResult CorePlacer::Decide(std::uint32_t processId, PlacementKind wanted) {
    lastError_ = 0;
    if (wanted == PlacementKind::None || processId == 0) return PlacementResult::Off;
    const std::string who = "process " + std::to_string(processId);
    OwnedLibrary kernel32(api_.libraries, api_.libraries.LoadLibraryW(u"kernel32.dll"));
    if (!kernel32) return PlacementResult::Unsupported;
    const ProcAddress systemSets = api_.libraries.GetProcAddress(kernel32.get(), "GetSystemCpuSetInformation");
    const ProcAddress set = api_.libraries.GetProcAddress(kernel32.get(), "SetProcessDefaultCpuSets");
    // Missing before Windows 10; Wine 8 lacks it and leaves the earlier set unknown.
    const ProcAddress get = api_.libraries.GetProcAddress(kernel32.get(), "GetProcessDefaultCpuSets");
    std::vector<CpuSetInfo> sets;
    if (systemSets == 0 || set == 0 || !api_.system.CallGetSystemCpuSetInformation(systemSets, &sets)) {
        return PlacementResult::Unsupported;
    }
    if (!cachesRead_) {
        cachesRead_ = true;
        const ProcAddress caches = api_.libraries.GetProcAddress(kernel32.get(), "GetLogicalProcessorInformationEx");
        if (caches == 0 || !api_.system.CallGetProcessorCaches(caches, &caches_)) caches_.clear();
    }
    CoreChoice choice = ChooseCores(sets, caches_, wanted);
    if (choice.Empty()) {
        Trace(who + ": no set given (the processors are alike, or fewer than two of the kind are free)");
        return PlacementResult::Alike;
    }

    OwnedHandle process(api_.processes,
                        api_.processes.OpenProcess(w32::kProcessQueryLimitedInformation |
                                                       w32::kProcessSetLimitedInformation,
                                                   false, processId));
    if (!process) {
        lastError_ = api_.processes.GetLastError();
        Trace(who + ": cannot be opened (error " + std::to_string(lastError_) + "), no set given");
        return PlacementResult::Refused;
    }
    std::vector<std::uint32_t> own;
    if (get != 0 && api_.processes.CallGetProcessDefaultCpuSets(get, process.get(), &own) && !own.empty()) {
        Trace(who + ": has a CPU set of its own, left as it is");
        return PlacementResult::OwnSet;
    }
    std::uint64_t mask = 0;
    std::uint64_t systemMask = 0;
    if (api_.processes.GetProcessAffinityMask(process.get(), &mask, &systemMask) && mask != 0 && systemMask != 0 &&
        mask != systemMask) {
        Trace(who + ": runs on chosen processors, left as it is");
        return PlacementResult::NarrowAffinity;
    }
    const std::uint32_t error = api_.processes.CallSetProcessDefaultCpuSets(set, process.get(), choice.ids);
    if (error != 0) {
        lastError_ = error;
        Trace(who + ": the set is refused (error " + std::to_string(error) + ")");
        return PlacementResult::Refused;
    }
    const ProcessorNumber& first = choice.processors.front();
    const ProcessorNumber& last = choice.processors.back();
    Trace(who + ": " + CoresWords(choice.kind) + ", " + std::to_string(choice.ids.size()) + " processors (" +
          std::to_string(first.group) + "," + std::to_string(first.number) + " to " + std::to_string(last.group) + "," +
          std::to_string(last.number) + ")");
    placedHandle_ = std::move(process);
    placedProcess_ = processId;
    earlier_ = std::move(own);
    placed_ = std::move(choice);
    return PlacementResult::Placed;
}

}  // namespace kx
