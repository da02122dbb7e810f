// wine-test: version=win7 desktop=yes timeout=300
// What a whole tick of the tray form costs on Windows. A real TKXTrayForm
// over the Win32 platform, in this process with its two hidden windows made
// as the program makes them, runs 1,000 ticks of its five stages while the
// focus moves between two helper programs' windows and the desktop (which
// stage 1 leaves alone), so that it raises one program and restores another
// now and then. The process's private bytes and open handles stay steady
// from the 100th tick on; the processor and wall time per tick, overall and
// per stage, with the wineserver's and explorer's share, are printed for the
// record.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ProcessCost.h"
#include "WineTestSupport.h"
#include "app/AccelerationStage.h"
#include "app/RunOnce.h"
#include "app/TrayForm.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Handles.h"

namespace {

using kx::win32::FromHwnd;

constexpr wchar_t kIconWindowClass[] = L"TKXTrayIconWindow";
constexpr UINT kIconMessage = WM_APP + 1;

constexpr int kTicks = 1000;
// By the 100th tick every path of the run has been taken once (each front
// below, a raise and a restore), so what was first allocated then is behind.
constexpr int kSettledTicks = 100;
// The focus moves every 25 ticks: helper A, helper B, the desktop, again.
constexpr int kSegmentTicks = 25;
// Between two ticks the messages are handled for a while, so that explorer
// draws every icon the tick hands it, as it does at one tick a second.
constexpr DWORD kTickGapMs = 20;
// A lost icon is over 1 KiB (its colour bitmap alone at 16x16 in 32 bits),
// a lost key or process handle costs its record, a lost text a heap block:
// one of them per tick is 250 KiB and more over the 900 ticks measured; the
// heap's own settling stays well below this bound.
constexpr SIZE_T kPrivateBytesBound = 256 * 1024;
// Handles are not cached per tick: a handful of slack, far from one per tick.
constexpr DWORD kHandleBound = 8;

// The one reach of the icon window's procedure into the form, as in the program.
kx::TKXTrayForm* g_form = nullptr;

LRESULT CALLBACK IconWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_form != nullptr) {
        std::intptr_t result = 0;
        if (g_form->Icon().HandleMessage(message, wParam, lParam, &result)) return result;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// The program's two hidden top-level windows: the form's (the test calls the
// tick itself, so the default procedure serves) and the icon widget's. Tool
// windows never shown, without owner, so they get the shell's broadcasts.
class HiddenWindows {
public:
    HiddenWindows() {
        HINSTANCE instance = ::GetModuleHandleW(nullptr);
        const auto* formClass = reinterpret_cast<const wchar_t*>(kx::kTrayFormClass);
        if (!Register(instance, formClass, ::DefWindowProcW) || !Register(instance, kIconWindowClass, IconWindowProc)) {
            return;
        }
        icon_ = Create(instance, kIconWindowClass, L"");
        form_ = Create(instance, formClass, L"Kestrix");
    }
    ~HiddenWindows() {
        if (form_ != nullptr) ::DestroyWindow(form_);
        if (icon_ != nullptr) ::DestroyWindow(icon_);
    }
    HiddenWindows(const HiddenWindows&) = delete;
    HiddenWindows& operator=(const HiddenWindows&) = delete;

    HWND form() const { return form_; }
    HWND icon() const { return icon_; }

private:
    static bool Register(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = name;
        return ::RegisterClassExW(&windowClass) != 0;
    }
    static HWND Create(HINSTANCE instance, const wchar_t* className, const wchar_t* title) {
        return ::CreateWindowExW(WS_EX_TOOLWINDOW, className, title, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance,
                                 nullptr);
    }

    HWND form_ = nullptr;
    HWND icon_ = nullptr;
};

double NowMs() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / frequency;
}

double Ms(ULONGLONG hundredNs) { return static_cast<double>(hundredNs) / 10000.0; }

// Handles this thread's messages, also those sent from other processes,
// until condition holds (true) or timeoutMs have passed (false).
template <typename Condition>
bool PumpUntil(Condition condition, DWORD timeoutMs) {
    const double deadline = NowMs() + timeoutMs;
    for (;;) {
        kxtest::PumpMessages();
        if (condition()) return true;
        const double left = deadline - NowMs();
        if (left <= 0) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min(left, 10.0)) + 1, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

// A helper program's window of its own class, in front when it starts.
struct Helper {
    kxtest::Program program;
    HWND window = nullptr;
};

Helper StartHelper(const std::wstring& className) {
    Helper helper;
    helper.program = kxtest::StartProgram(L"kxtesthelper.exe", L"window " + className + L" " + className);
    if (helper.program.Started()) helper.window = kxtest::WaitForWindow(className, 20000);
    return helper;
}

// Wall time spent in one stage (or one kind of tick).
struct TimeTally {
    const char* name;
    int count = 0;
    double totalMs = 0;
    double maxMs = 0;

    void Add(double ms) {
        ++count;
        totalMs += ms;
        maxMs = std::max(maxMs, ms);
    }
    void Print() const {
        std::printf("  %-34s %8.3f ms mean %8.3f ms max  (%d)\n", name, count != 0 ? totalMs / count : 0.0, maxMs,
                    count);
    }
};

// Times one call of a stage, also when the stage raises.
class Timed {
public:
    Timed(TimeTally& tally, const bool& measuring) : tally_(tally), measuring_(measuring), started_(NowMs()) {}
    ~Timed() {
        if (measuring_) tally_.Add(NowMs() - started_);
    }
    Timed(const Timed&) = delete;
    Timed& operator=(const Timed&) = delete;

private:
    TimeTally& tally_;
    const bool& measuring_;
    double started_;
};

// Processor time of the Linux processes doing the prefix's share of the work.
struct WineProcess {
    const char* name;
    std::string pid;
    ULONGLONG sampled = 0;
    ULONGLONG total = 0;  // over the measured segments
    ULONGLONG idle = 0;   // over the stretch without ticks

    void Start() { sampled = kxtest::LinuxProcessorTime(pid); }
    void Stop(ULONGLONG* sum) { *sum += kxtest::LinuxProcessorTime(pid) - sampled; }
};

// The program's registry, counting its queries of the performance data. Wine
// leaves a handle (a mutex) open on every such query, and closing
// HKEY_PERFORMANCE_DATA does not give them back: the handle balance allows
// for that at the rate measured here, so that what it holds the program to is
// its own handles.
class CountingRegistry : public kx::Win32Registry {
public:
    long RegQueryValueExW(kx::KHandle key, const kx::Text& valueName, std::uint32_t* type, std::uint8_t* data,
                          std::uint32_t* size) override {
        if (key == kx::w32::kHkeyPerformanceData) ++performanceQueries;
        return kx::Win32Registry::RegQueryValueExW(key, valueName, type, data, size);
    }
    int performanceQueries = 0;
};

// The handles the system leaves open per query of the processor object's
// performance data, rounded up; 0 where it leaves none.
DWORD HandlesLeftPerPerformanceQuery() {
    std::vector<BYTE> buffer(256 * 1024);
    auto query = [&buffer] {
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(buffer.size());
        ::RegQueryValueExW(HKEY_PERFORMANCE_DATA, L"238", nullptr, &type, buffer.data(), &size);
    };
    query();  // what the first query sets up for good is no leak
    constexpr DWORD kQueries = 4;
    const DWORD before = kxtest::OpenHandleCount();
    for (DWORD i = 0; i < kQueries; ++i) query();
    const DWORD after = kxtest::OpenHandleCount();
    return after > before ? (after - before + kQueries - 1) / kQueries : 0;
}

TEST(TrayTickCost, ThousandTicksWithTheFocusMovingKeepMemoryAndHandlesSteady) {
    ASSERT_TRUE(kxtest::DeleteKeyTree());
    Helper helperA = StartHelper(L"KXTickCostA");
    Helper helperB = StartHelper(L"KXTickCostB");
    ASSERT_NE(helperA.window, nullptr);
    ASSERT_NE(helperB.window, nullptr);

    HiddenWindows windows;
    ASSERT_NE(windows.form(), nullptr);
    ASSERT_NE(windows.icon(), nullptr);
    const DWORD handlesPerQuery = HandlesLeftPerPerformanceQuery();
    kx::Win32Api win32;
    CountingRegistry registry;
    kx::Platform api = win32.api();
    kx::Platform counted{registry,      api.windows, api.processes, api.system,  api.files,
                         api.libraries, api.shell,   api.drawing,   api.network, api.clock,
                         api.trace};
    kx::TKXTrayForm form(counted, FromHwnd(windows.form()), FromHwnd(windows.icon()), kIconMessage);
    g_form = &form;
    struct Unhook {
        ~Unhook() { g_form = nullptr; }
    } unhook;
    form.FormCreate();

    // Every stage timed, the first one apart on the ticks where the focus has just moved.
    bool measuring = false;
    bool focusMoved = false;
    TimeTally stageTimes[] = {{"1 acceleration, same window"}, {"1 acceleration, focus moved"},
                              {"2 block-list reload"},         {"3 tray visibility"},
                              {"4 update notice"},             {"5 icon refresh"}};
    kx::TickStages& stages = form.Cycle().Stages();
    stages.acceleration = [run = stages.acceleration, &stageTimes, &measuring, &focusMoved] {
        Timed timed(stageTimes[focusMoved ? 1 : 0], measuring);
        run();
    };
    stages.blockListReload = [run = stages.blockListReload, &stageTimes, &measuring] {
        Timed timed(stageTimes[2], measuring);
        run();
    };
    stages.trayVisibility = [run = stages.trayVisibility, &stageTimes, &measuring] {
        Timed timed(stageTimes[3], measuring);
        return run();
    };
    stages.updateNotice = [run = stages.updateNotice, &stageTimes, &measuring](bool iconShown) {
        Timed timed(stageTimes[4], measuring);
        run(iconShown);
    };
    stages.iconRefresh = [run = stages.iconRefresh, &stageTimes, &measuring] {
        Timed timed(stageTimes[5], measuring);
        run();
    };

    WineProcess wine[] = {{"wineserver", kxtest::LinuxPidOf("wineserver")},
                          {"explorer.exe", kxtest::LinuxPidOf("explorer.exe")}};
    const HWND fronts[] = {helperA.window, helperB.window, ::GetDesktopWindow()};
    const DWORD helperPids[] = {helperA.program.Pid(), helperB.program.Pid()};

    TimeTally tickTimes[] = {{"whole tick, same window"}, {"whole tick, focus moved"}};
    // This process's processor time over the ticks, same window and focus moved.
    ULONGLONG tickProcessorTime[2] = {};
    ULONGLONG spanProcessorStart = 0;
    double measuredSpanMs = 0;
    double segmentStartedMs = 0;
    SIZE_T bytesSettled = 0;
    DWORD handlesSettled = 0;
    int queriesSettled = 0;

    // At a segment's end: the helper in front is the accelerated program,
    // raised, and the other one back at its normal class. The desktop is
    // explorer's, which the default block list leaves alone: the helper
    // before it stays the accelerated one.
    int segmentsChecked = 0;
    int segmentsAsExpected = 0;
    auto checkRaised = [&](int segment) {
        const int raised = segment % 3 == 2 ? 1 : segment % 3;
        ++segmentsChecked;
        const kx::Text handle = form.Settings().RegReadString(u"Handle", u"");
        if (handle == kx::HandleText(FromHwnd(fronts[raised])) &&
            kxtest::PriorityClassOf(helperPids[raised]) == HIGH_PRIORITY_CLASS &&
            kxtest::PriorityClassOf(helperPids[1 - raised]) == NORMAL_PRIORITY_CLASS) {
            ++segmentsAsExpected;
        }
    };

    for (int tick = 1; tick <= kTicks; ++tick) {
        const int segment = (tick - 1) / kSegmentTicks;
        focusMoved = (tick - 1) % kSegmentTicks == 0;
        if (focusMoved) {
            if (tick > 1) {
                if (measuring) {
                    for (WineProcess& process : wine) process.Stop(&process.total);
                    measuredSpanMs += NowMs() - segmentStartedMs;
                }
                checkRaised(segment - 1);
            }
            const HWND front = fronts[segment % 3];
            ::SetForegroundWindow(front);
            ASSERT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == front; }, 5000))
                << "the focus did not move to segment " << segment << "'s window";
            PumpFor(100);  // explorer settles after the move
            if (measuring) {
                for (WineProcess& process : wine) process.Start();
                segmentStartedMs = NowMs();
            }
        }

        const ULONGLONG processorBefore = kxtest::OwnProcessorTime();
        const double started = NowMs();
        form.MainTimerTimer();
        kxtest::PumpMessages();
        if (measuring) {
            tickTimes[focusMoved ? 1 : 0].Add(NowMs() - started);
            tickProcessorTime[focusMoved ? 1 : 0] += kxtest::OwnProcessorTime() - processorBefore;
        }
        PumpFor(kTickGapMs);

        if (tick == 1) {
            ASSERT_TRUE(form.Icon().Visible()) << "the first tick did not show the icon";
        }
        if (tick == kSettledTicks) {
            bytesSettled = kxtest::PrivateBytes();
            handlesSettled = kxtest::OpenHandleCount();
            queriesSettled = registry.performanceQueries;
            spanProcessorStart = kxtest::OwnProcessorTime();
            measuring = true;
            // The 100th tick ends a segment: the next one starts the measured ones.
            for (WineProcess& process : wine) process.Start();
            segmentStartedMs = NowMs();
        }
    }
    for (WineProcess& process : wine) process.Stop(&process.total);
    measuredSpanMs += NowMs() - segmentStartedMs;
    checkRaised((kTicks - 1) / kSegmentTicks);
    const ULONGLONG spanProcessorTime = kxtest::OwnProcessorTime() - spanProcessorStart;
    const SIZE_T bytesAtEnd = kxtest::PrivateBytes();
    const DWORD handlesAtEnd = kxtest::OpenHandleCount();

    // What the prefix does meanwhile without ticks: the helper in front, the icon shown.
    ::SetForegroundWindow(helperA.window);
    PumpFor(500);
    for (WineProcess& process : wine) process.Start();
    const double idleStarted = NowMs();
    PumpFor(5000);
    const double idleMs = NowMs() - idleStarted;
    for (WineProcess& process : wine) process.Stop(&process.idle);

    constexpr int kMeasured = kTicks - kSettledTicks;
    std::printf("private bytes after %d ticks: %lu, after %d: %lu (%+ld)\n", kSettledTicks,
                static_cast<unsigned long>(bytesSettled), kTicks, static_cast<unsigned long>(bytesAtEnd),
                static_cast<long>(bytesAtEnd) - static_cast<long>(bytesSettled));
    const int queries = registry.performanceQueries - queriesSettled;
    const DWORD systemHandles = handlesPerQuery * static_cast<DWORD>(queries);
    std::printf("open handles after %d ticks: %lu, after %d: %lu; %d performance-data queries meanwhile, which "
                "the system leaves %lu handles open for (%lu each)\n",
                kSettledTicks, static_cast<unsigned long>(handlesSettled), kTicks,
                static_cast<unsigned long>(handlesAtEnd), queries, static_cast<unsigned long>(systemHandles),
                static_cast<unsigned long>(handlesPerQuery));
    std::printf("stage 1 had the expected helper raised and the other restored at the end of %d of %d segments\n",
                segmentsAsExpected, segmentsChecked);
    const ULONGLONG ownTicksTime = tickProcessorTime[0] + tickProcessorTime[1];
    std::printf("processor time of this process: %.3f ms per tick (summed over the ticks: %.3f ms on a tick with "
                "the same window, %.3f ms on one after a focus move), %.3f ms per tick over the whole span\n",
                Ms(ownTicksTime) / kMeasured, Ms(tickProcessorTime[0]) / std::max(tickTimes[0].count, 1),
                Ms(tickProcessorTime[1]) / std::max(tickTimes[1].count, 1), Ms(spanProcessorTime) / kMeasured);
    double wineNetMs = 0;
    for (const WineProcess& process : wine) {
        const double idleRate = Ms(process.idle) / idleMs;  // ms of processor time per ms without ticks
        const double netMs = Ms(process.total) - idleRate * measuredSpanMs;
        wineNetMs += netMs;
        std::printf("%s (Linux pid %s): %.3f ms per tick, %.3f ms without what it spends idle (%.2f ms/s)\n",
                    process.name, process.pid.empty() ? "?" : process.pid.c_str(), Ms(process.total) / kMeasured,
                    netMs / kMeasured, idleRate * 1000.0);
    }
    std::printf("a tick with its share of wineserver and explorer: %.3f ms of processor time\n",
                (Ms(ownTicksTime) + wineNetMs) / kMeasured);
    std::printf("wall time of the ticks %d to %d:\n", kSettledTicks + 1, kTicks);
    for (const TimeTally& tally : tickTimes) tally.Print();
    for (const TimeTally& tally : stageTimes) tally.Print();
    RecordProperty("private_bytes_after_100", std::to_string(bytesSettled));
    RecordProperty("private_bytes_at_end", std::to_string(bytesAtEnd));
    RecordProperty("handles_after_100", std::to_string(handlesSettled));
    RecordProperty("handles_at_end", std::to_string(handlesAtEnd));
    RecordProperty("cpu_us_per_tick", std::to_string(Ms(ownTicksTime) * 1000.0 / kMeasured));

    // The run did what a user's session does: the program in front raised on every move to it.
    EXPECT_EQ(segmentsAsExpected, segmentsChecked);
    ASSERT_NE(bytesSettled, 0u) << "the private bytes cannot be had";
    ASSERT_NE(handlesSettled, 0u) << "the open handles cannot be counted";
    EXPECT_LE(bytesAtEnd, bytesSettled + kPrivateBytesBound);
    EXPECT_LE(handlesAtEnd, handlesSettled + systemHandles + kHandleBound);
    form.Close();
}

// The two measures the run above relies on see what a leak leaves: handles
// left open, and memory taken and written.
TEST(TrayTickCost, TheMeasuresSeeLeftHandlesAndMemory) {
    const DWORD handlesBefore = kxtest::OpenHandleCount();
    HANDLE left[5];
    for (HANDLE& handle : left) handle = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const DWORD handlesDuring = kxtest::OpenHandleCount();
    for (HANDLE handle : left) ::CloseHandle(handle);
    EXPECT_EQ(handlesDuring, handlesBefore + 5);
    EXPECT_EQ(kxtest::OpenHandleCount(), handlesBefore);

    constexpr SIZE_T kBlock = 1024 * 1024;
    const SIZE_T bytesBefore = kxtest::PrivateBytes();
    auto* block = static_cast<volatile char*>(::VirtualAlloc(nullptr, kBlock, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(block, nullptr);
    for (SIZE_T i = 0; i < kBlock; i += 4096) block[i] = 1;
    const SIZE_T bytesDuring = kxtest::PrivateBytes();
    ::VirtualFree(const_cast<char*>(block), 0, MEM_RELEASE);
    EXPECT_GE(bytesDuring, bytesBefore + kBlock);
}

}  // namespace
