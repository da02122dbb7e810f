// wine-test: version=win10 desktop=yes timeout=300
// What a storm of windows costs the real tray: another program makes, shows,
// hides and destroys about 90 small windows a second (as menus and tooltips
// come and go), in spans of a few seconds that alternate with quiet ones,
// once with InstantBoost off and once on. The tray's processor time per
// second, from its threads' scheduler clocks (/proc/PID/task/*/schedstat),
// is printed for the quiet and the stormy windows and as a ratio; side by
// side in one run, so that the load of the rest of the machine falls on both
// alike. The test holds only that the measurement happened.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "ProcessCost.h"
#include "WineTestSupport.h"

namespace {

constexpr wchar_t kTrayClass[] = L"TKXTrayForm";
constexpr wchar_t kStormEvent[] = L"KxWindowStormGo";
constexpr wchar_t kStormRate[] = L"90";
constexpr DWORD kStartBound = 20000;
constexpr DWORD kTickBound = 10000;
constexpr int kRounds = 6;
// Each span measured is a whole number of the tray's one-second ticks after
// the first 200 ms of its slot (the storm starting or stopping), so every
// span, quiet or stormy, holds the same number of ticks; the order flips
// every round (quiet first, then stormy first), so that work the tray does
// every few ticks falls on both kinds alike.
constexpr DWORD kSlotMs = 5000;
constexpr DWORD kSettleMs = 200;

// The windows the storm made, counted from their creation events (which come
// after the window is gone, so the hook is on the storm program alone).
LONG g_stormWindows = 0;

void CALLBACK CountCreate(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG, DWORD, DWORD) {
    if (object == OBJID_WINDOW && window != nullptr) ++g_stormWindows;
}

// Handles this thread's messages (the event hook's calls) until the tick count.
void PumpUntil(ULONGLONG deadline) {
    for (ULONGLONG now; (now = ::GetTickCount64()) < deadline;) {
        kxtest::PumpMessages();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 20)),
                                    QS_ALLINPUT);
    }
}

// Processor time and wall time summed over the windows of one kind.
struct Tally {
    ULONGLONG cpu = 0;  // 100-ns units
    ULONGLONG wallMs = 0;
    double MsPerSecond() const { return wallMs != 0 ? static_cast<double>(cpu) / 10.0 / static_cast<double>(wallMs) : 0.0; }
};

struct Outcome {
    Tally quiet;
    Tally storm;
    double windowsPerSecond = 0;  // made by the storm, during its windows
};

class AppStormCost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kxtest::DeleteKeyTree());
        go_ = ::CreateEventW(nullptr, TRUE, FALSE, kStormEvent);
        ASSERT_NE(go_, nullptr);
    }
    void TearDown() override {
        if (go_ != nullptr) ::CloseHandle(go_);
        kxtest::DeleteKeyTree();
    }

    // One tray with InstantBoost as given: quiet and stormy windows in turn.
    Outcome Run(DWORD instantBoost) {
        Outcome outcome;
        EXPECT_TRUE(kxtest::SetDwordValue(L"InstantBoost", instantBoost));
        kxtest::Program tray = kxtest::StartProgram(L"KestrixTray.exe");
        EXPECT_TRUE(tray.Started());
        EXPECT_NE(kxtest::WaitForWindow(kTrayClass, kStartBound), nullptr);
        kxtest::HelperWindow front = kxtest::StartHelperWindow(L"TKXStormFront", L"Storm front");
        EXPECT_TRUE(kxtest::BringToFront(front.window));
        EXPECT_TRUE(kxtest::WaitUntil(
            [&] { return kxtest::PriorityClassOf(front.pid) == static_cast<DWORD>(HIGH_PRIORITY_CLASS); }, kTickBound))
            << "InstantBoost " << instantBoost << ": the window in front was not raised";

        ::ResetEvent(go_);
        kxtest::Program storm =
            kxtest::StartProgram(L"kxtesthelper.exe", std::wstring(L"storm ") + kStormEvent + L" " + kStormRate);
        EXPECT_TRUE(storm.Started());
        g_stormWindows = 0;
        HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, nullptr, CountCreate,
                                               storm.Pid(), 0, WINEVENT_OUTOFCONTEXT);
        const std::string pid = kxtest::LinuxPidOf("KestrixTray.exe");
        EXPECT_FALSE(pid.empty()) << "the tray's Linux process was not found";
        PumpUntil(::GetTickCount64() + 2000);  // the storm program started, the first ticks behind

        const ULONGLONG start = ::GetTickCount64();
        for (int slot = 0; slot < 2 * kRounds && !pid.empty(); ++slot) {
            const bool stormy = (slot % 2 == 1) != (slot / 2 % 2 == 1);
            if (stormy) {
                ::SetEvent(go_);
            } else {
                ::ResetEvent(go_);
            }
            PumpUntil(start + static_cast<ULONGLONG>(slot) * kSlotMs + kSettleMs);
            Tally& tally = stormy ? outcome.storm : outcome.quiet;
            const ULONGLONG cpuBefore = kxtest::LinuxThreadClockTime(pid);
            const ULONGLONG wallBefore = ::GetTickCount64();
            const LONG windowsBefore = g_stormWindows;
            PumpUntil(start + static_cast<ULONGLONG>(slot + 1) * kSlotMs);
            tally.cpu += kxtest::LinuxThreadClockTime(pid) - cpuBefore;
            tally.wallMs += ::GetTickCount64() - wallBefore;
            if (stormy) outcome.windowsPerSecond += g_stormWindows - windowsBefore;
        }
        ::ResetEvent(go_);
        if (hook != nullptr) ::UnhookWinEvent(hook);
        if (outcome.storm.wallMs != 0) outcome.windowsPerSecond *= 1000.0 / static_cast<double>(outcome.storm.wallMs);

        storm.Terminate();
        kxtest::RunProgram(L"kxtesthelper.exe", std::wstring(L"sendclose ") + kTrayClass, 15000);
        if (!tray.WaitForExit(10000)) tray.Terminate();
        front.program.Terminate();
        return outcome;
    }

    HANDLE go_ = nullptr;
};

TEST_F(AppStormCost, TheTraysProcessorTimeDuringAWindowStormAgainstQuiet) {
    const Outcome off = Run(0);
    const Outcome on = Run(1);
    for (const auto& [name, outcome] : {std::pair<const char*, const Outcome&>{"off", off}, {"on", on}}) {
        const double quiet = outcome.quiet.MsPerSecond();
        const double stormy = outcome.storm.MsPerSecond();
        std::printf("InstantBoost %-3s tray CPU: quiet %.3f ms/s, storm %.3f ms/s (%.0f window creation events a second), "
                    "ratio %.2f; %d rounds of %lu ms each\n",
                    name, quiet, stormy, outcome.windowsPerSecond, quiet > 0 ? stormy / quiet : 0.0, kRounds,
                    static_cast<unsigned long>(kSlotMs - kSettleMs));
        EXPECT_GT(quiet, 0.0) << name;
        EXPECT_GT(stormy, 0.0) << name;
        EXPECT_GT(outcome.windowsPerSecond, 0.0) << name << ": no window of the storm was seen";
    }
}

}  // namespace
