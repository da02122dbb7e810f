// The process KestrixTray raised last, kept so that it can be put back: at
// Exit, WM_CLOSE and the end of the session when RestoreOnExit is on, and, for
// a run that ended without that (a crash, a kill), at the next start. The
// record lives under the current user's own key, so no other account's tray
// ever acts on it, and it names the process by id, creation time, image and
// session, so a process that merely reuses the id is never touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "config/Settings.h"
#include "engine/Foreground.h"
#include "engine/IdealProcessor.h"
#include "engine/Priority.h"
#include "engine/RaisedRecord.h"
#include "platform/DebugApi.h"
#include "platform/ProcessApi.h"
#include "platform/RegistryApi.h"

namespace kx {

// Below HKEY_CURRENT_USER: the key and its value (REG_BINARY) that hold the record.
extern const char16_t kRaisedRecordKey[];    // u"Software\\VELMOR\\Kestrix"
extern const char16_t kRaisedRecordValue[];  // u"RaisedProcess"

class RaisedProcessKeeper {
public:
    RaisedProcessKeeper(IRegistry& registry, const InspectionApi& inspection, const SettingsStore& settings,
                        ProcessorSampler& sampler, DebugTrace& trace)
        : registry_(registry),
          inspection_(inspection),
          processes_(inspection.processes),
          settings_(settings),
          sampler_(sampler),
          trace_(trace) {}

    // After AccelerateWindow(window, level): the process the state names is now
    // the raised one. Recorded while RestoreOnExit is on; otherwise the record goes.
    void Raised(const AccelerationState& state, PriorityLevel level);
    // After a move of threads: those of the recorded process that were not
    // moved before join the record with the processor they had.
    void ThreadsMoved(const IdealMove& move);
    // Exit, WM_CLOSE, the end of the session: with RestoreOnExit on, the
    // recorded process goes back, if it still runs at the class it was given.
    void RestoreAtExit();
    // At start: the record an earlier run left is removed, and with
    // RestoreOnExit on acted on the same way first. True when it put a process back.
    bool RestoreLeftOver();

    const std::optional<RaisedRecord>& Record() const { return record_; }

private:
    // True when the process was put back.
    bool PutBack(const RaisedRecord& record);
    // What the open process is: creation time, session, image, class.
    FoundProcess Inspect(KHandle process, std::uint32_t processId);
    void Store();
    void Clear();

    IRegistry& registry_;
    InspectionApi inspection_;
    IProcesses& processes_;
    const SettingsStore& settings_;
    ProcessorSampler& sampler_;
    DebugTrace& trace_;
    std::optional<RaisedRecord> record_;
};

}  // namespace kx
