// Placement of the program in front on the processors that serve it best:
// the performance cores of a hybrid processor, or the cores that share the
// largest last-level cache where the dies differ. Given as the process's
// default CPU set (Windows 10 and later), taken back when it leaves the front.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/DebugApi.h"
#include "platform/LibraryApi.h"
#include "platform/ProcessApi.h"
#include "platform/SystemApi.h"

namespace kx {

// The processors wanted. Auto: the performance cores on a hybrid processor,
// otherwise the large-cache cores where caches differ, otherwise none.
enum class PlacementKind : std::uint8_t { None, Auto, Performance, LargeCache, Efficiency };

// A set of processors that a process can be given.
struct CoreChoice {
    PlacementKind kind = PlacementKind::None;  // what it stands for; None: no set
    std::vector<std::uint32_t> ids;            // CPU-set ids, in the system's order
    std::vector<ProcessorNumber> processors;   // the same processors

    bool Empty() const { return ids.empty(); }
};

// The smallest set worth giving: one processor would serialise the program.
constexpr std::size_t kMinPlacedProcessors = 2;

// The processors of the wanted kind among the system's CPU sets, matched to
// the caches by group and mask. Parked and allocated processors are never
// chosen; where the processors do not differ in the wanted way, or fewer
// than two would remain, the choice is empty.
CoreChoice ChooseCores(const std::vector<CpuSetInfo>& sets, const std::vector<CacheInfo>& caches,
                       PlacementKind wanted);

// The words the status and the debug output use for a kind: "performance
// cores", "large-cache cores", "efficiency cores"; empty for None and Auto.
const char* CoresWords(PlacementKind kind);

// What one placement did.
enum class PlacementResult : std::uint8_t {
    Placed,        // the set was given
    Alike,         // the processors do not differ: nothing to choose
    OwnSet,        // the process has a default set of its own: left as it is
    NarrowAffinity,  // the process runs on fewer processors than the system has: left
    Refused,       // the process cannot be opened or given the set
    Unsupported,   // the system has no CPU sets (before Windows 10)
    Off,           // no placement was asked
};

struct PlacementApi {
    ISystemInfo& system;
    IProcesses& processes;
    ILibraries& libraries;
    DebugTrace* trace = nullptr;  // one line per placement
};

class CorePlacer {
public:
    explicit CorePlacer(const PlacementApi& api) : api_(api) {}
    ~CorePlacer() = default;
    CorePlacer(const CorePlacer&) = delete;
    CorePlacer& operator=(const CorePlacer&) = delete;

    // Puts back the process placed before, then gives processId the
    // processors of the wanted kind, unless it chose its own. Never throws.
    PlacementResult Place(std::uint32_t processId, PlacementKind wanted);
    // The placed process gets back the set it had (none: the set is cleared),
    // while it still has the one it was given. Never throws.
    void Restore();

    // The process placed now and its processors; 0 and empty when none is.
    std::uint32_t PlacedProcess() const { return placedProcess_; }
    const CoreChoice& Placed() const { return placed_; }
    // The error of the last refused set (0 when none).
    std::uint32_t LastError() const { return lastError_; }

private:
    PlacementResult Decide(std::uint32_t processId, PlacementKind wanted);
    void Trace(const std::string& line) const;

    PlacementApi api_;
    // The caches do not change while the system runs: read once.
    std::vector<CacheInfo> caches_;
    bool cachesRead_ = false;
    // The placed process, held open so that its id cannot name another process.
    OwnedHandle placedHandle_;
    std::uint32_t placedProcess_ = 0;
    CoreChoice placed_;
    std::vector<std::uint32_t> earlier_;
    std::uint32_t lastError_ = 0;
};

}  // namespace kx
