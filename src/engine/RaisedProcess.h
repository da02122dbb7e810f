// The process KestrixTray raised last, kept so that it can be put back: at
// Exit, WM_CLOSE and the end of the session when RestoreOnExit is on, and, for
// a run that ended without that (a crash, a kill), at the next start. The
// record lives under the current user's own key, so no other account's tray
// ever acts on it, and it names the process by id and creation time, so a
// process that merely reuses the id is never touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "config/Settings.h"
#include "engine/IdealProcessor.h"
#include "engine/Priority.h"
#include "platform/DebugApi.h"
#include "platform/ProcessApi.h"
#include "platform/RegistryApi.h"

namespace kx {

// Below HKEY_CURRENT_USER: the key and its value (REG_BINARY) that hold the record.
extern const char16_t kRaisedRecordKey[];    // u"Software\\VELMOR\\Kestrix"
extern const char16_t kRaisedRecordValue[];  // u"RaisedProcess"
// Threads kept at most: a record of more is not believed.
constexpr std::size_t kMaxRecordedThreads = 4096;

struct RaisedRecord {
    std::uint32_t processId = 0;
    std::int64_t creationTime = 0;
    std::uint32_t earlierClass = 0;  // the priority class it goes back to
    std::uint32_t raisedClass = 0;   // the class KestrixTray gave it
    std::vector<ThreadIdeal> threads;  // each moved thread's ideal processor before its first move
};

std::vector<std::uint8_t> EncodeRaisedRecord(const RaisedRecord& record);
// False for bytes that are not exactly one record.
bool DecodeRaisedRecord(const std::uint8_t* data, std::size_t size, RaisedRecord* record);

class RaisedProcessKeeper {
public:
    RaisedProcessKeeper(IRegistry& registry, IProcesses& processes, const SettingsStore& settings,
                        ProcessorSampler& sampler, DebugTrace& trace)
        : registry_(registry), processes_(processes), settings_(settings), sampler_(sampler), trace_(trace) {}

    // After AccelerateWindow(window, level): the process the state names is now
    // the raised one. Recorded while RestoreOnExit is on; otherwise the record goes.
    void Raised(const AccelerationState& state, PriorityLevel level);
    // After a move of threads: those of the recorded process that were not
    // moved before join the record with the processor they had.
    void ThreadsMoved(const IdealMove& move);
    // Exit, WM_CLOSE, the end of the session: with RestoreOnExit on, the
    // recorded process goes back, if it still runs at the class it was given.
    void RestoreAtExit();
    // At start: the record an earlier run left is acted on the same way and removed.
    void RestoreLeftOver();

    const std::optional<RaisedRecord>& Record() const { return record_; }

private:
    // True when the process was put back.
    bool PutBack(const RaisedRecord& record);
    bool CreationTimeOf(std::uint32_t processId, std::int64_t* creationTime);
    void Store();
    void Clear();

    IRegistry& registry_;
    IProcesses& processes_;
    const SettingsStore& settings_;
    ProcessorSampler& sampler_;
    DebugTrace& trace_;
    std::optional<RaisedRecord> record_;
};

}  // namespace kx
