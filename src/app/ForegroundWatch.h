// The immediate boost: window events that tell a change of the foreground
// window, hooked only while InstantBoost is on, and turned into looks of
// stage 1 at a bounded rate. Any program on the desktop can make events as
// fast as it likes, so an event costs nothing but a comparison, and looks
// are coalesced to at most one per kLookSpacingMs.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "app/AccelerationStage.h"
#include "platform/ClockApi.h"
#include "platform/DebugApi.h"
#include "platform/LibraryApi.h"
#include "platform/WindowApi.h"

namespace kx {

namespace w32 {
constexpr std::uint32_t kEventSystemForeground = 0x0003;
constexpr std::uint32_t kEventObjectCreate = 0x8000;
}  // namespace w32

// What the program's entry provides for the watch: the hooks (out of
// context, never for this program's own events) and a one-shot look timer.
class IForegroundEvents {
public:
    virtual ~IForegroundEvents() = default;
    // Hooks the events first..last; false when the system refuses.
    virtual bool Hook(std::uint32_t firstEvent, std::uint32_t lastEvent) = 0;
    virtual void UnhookAll() = 0;
    // LookTimerFired once, after about milliseconds; nothing more until armed again.
    virtual void ArmLookTimer(std::uint32_t milliseconds) = 0;
    virtual void CancelLookTimer() = 0;
};

// True when the program runs under Wine (ntdll exports wine_get_version).
bool RunningUnderWine(ILibraries& libraries);

// The event ranges hooked. Windows tells every change of the foreground
// window with EVENT_SYSTEM_FOREGROUND alone; Wine 8 never sends it, and of
// the events it does send across processes EVENT_OBJECT_CREATE is the one
// that comes with a newly activated program (EVENT_OBJECT_FOCUS alone is not
// enough: a program brought to the front was not raised before a tick).
std::vector<std::pair<std::uint32_t, std::uint32_t>> ForegroundHookEvents(bool underWine);

class ForegroundWatch {
public:
    // At most one look per this many milliseconds, however many events come.
    static constexpr std::uint64_t kLookSpacingMs = 50;

    ForegroundWatch(AccelerationStage& stage, IWindows& windows, IClock& clock, IForegroundEvents& events,
                    bool underWine, DebugTrace* trace = nullptr)
        : stage_(stage), windows_(windows), clock_(clock), events_(events), underWine_(underWine), trace_(trace) {}
    ~ForegroundWatch();
    ForegroundWatch(const ForegroundWatch&) = delete;
    ForegroundWatch& operator=(const ForegroundWatch&) = delete;

    // Once a tick, with the InstantBoost value the tick read: the hooks are
    // installed when it is on and removed when it is off.
    void Follow(bool instantBoost);
    // A hooked event: compares the foreground window with the one looked at
    // last; a new one (never the null window) is looked at now, or when the
    // look timer fires if a look ran less than kLookSpacingMs ago.
    void Event();
    // The look timer fired.
    void LookTimerFired();

    bool Hooked() const { return hooked_; }

private:
    // The foreground window when it is one to look at; 0 otherwise.
    Hwnd NewForeground();
    void Unhook();

    AccelerationStage& stage_;
    IWindows& windows_;
    IClock& clock_;
    IForegroundEvents& events_;
    bool underWine_;
    DebugTrace* trace_;
    bool hooked_ = false;
    bool timerArmed_ = false;
    bool looked_ = false;
    std::uint64_t lastLookMs_ = 0;
};

}  // namespace kx
