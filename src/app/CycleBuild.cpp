// The main cycle's timing this program is built with: the timer interval and
// the ticks between two ideal-processor refreshes.
//
// This unit holds nothing else, on purpose: the test variants of the program
// (tests/standins/tray-test-cycle) compile their own copy of it with a
// slower tick or a shorter refresh and link it ahead of the core library, so
// the core library's copy is never pulled in.
#include "app/AccelerationStage.h"
#include "app/MainCycle.h"
#include "app/TrayForm.h"

#ifndef KX_MAIN_TIMER_MS
#define KX_MAIN_TIMER_MS TKXTrayForm::kTimerIntervalMs
#endif
#ifndef KX_IDEAL_REFRESH_TICKS
#define KX_IDEAL_REFRESH_TICKS 120
#endif

namespace kx {

const std::uint32_t kMainTimerIntervalMs = KX_MAIN_TIMER_MS;
const int kIdealRefreshTicks = KX_IDEAL_REFRESH_TICKS;

}  // namespace kx
