// wine-test: version=win10 desktop=yes timeout=360
// The real KestrixTray.exe with its settings key made read-only (as any
// account could leave it for another): it still accelerates the program in
// front, and the performance provider registered in the prefix is asked for
// its data once per change of focus, not once per tick, although Handle and
// ReloadList cannot be written. The tray's processor time per second is
// printed for the read-only key and for a writable one.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ProcessCost.h"
#include "TestPerfProvider.h"
#include "WineTestSupport.h"

namespace {

using kxtest::HelperWindow;

constexpr wchar_t kTrayClass[] = L"TKXTrayForm";
constexpr DWORD kStartBound = 20000;
constexpr DWORD kTickBound = 10000;

bool BecomesHigh(const HelperWindow& helper) {
    return kxtest::WaitUntil(
        [&] { return kxtest::PriorityClassOf(helper.pid) == static_cast<DWORD>(HIGH_PRIORITY_CLASS); }, kTickBound);
}

// The tray's processor time over a few seconds, in milliseconds per second.
double TrayCpuMsPerSecond(const std::string& pid, DWORD seconds) {
    const ULONGLONG before = kxtest::LinuxProcessorTime(pid);
    ::Sleep(seconds * 1000);
    const ULONGLONG after = kxtest::LinuxProcessorTime(pid);
    return static_cast<double>(after - before) / 10000.0 / seconds;
}

class TrayReadOnlyKey : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(kxtest::FindTopWindow(kTrayClass), nullptr) << "an instance from before is still running";
        ASSERT_TRUE(kxtest::DeleteKeyTree());
        ASSERT_TRUE(kxtest::RegisterTestPerfProvider()) << "kxtestperf.dll not registered";
        SYSTEM_INFO info{};
        ::GetSystemInfo(&info);
        ASSERT_TRUE(kxtest::SetTestPerfIdleTimes(kxtest::IdleTimesFavouring(info.dwNumberOfProcessors, 0, 1000)));
    }
    void TearDown() override {
        kxtest::MakeKeyWritable();
        if (tray_.Started() && !tray_.WaitForExit(0)) {
            kxtest::RunProgram(L"kxtesthelper.exe", std::wstring(L"sendclose ") + kTrayClass, 15000);
            if (!tray_.WaitForExit(10000)) tray_.Terminate();
        }
        kxtest::DeleteKeyTree();
        kxtest::UnregisterTestPerfProvider();
    }

    kxtest::Program tray_;
};

TEST_F(TrayReadOnlyKey, ThePerformanceDataIsAskedForOncePerFocusChangeNotOncePerTick) {
    // The main program asked for a reload; nobody can clear the flag now.
    ASSERT_TRUE(kxtest::SetStringValue(L"Handle", L"0"));
    ASSERT_TRUE(kxtest::SetDwordValue(L"ReloadList", 1));
    ASSERT_TRUE(kxtest::MakeKeyReadOnly());

    tray_ = kxtest::StartProgram(L"KestrixTray.exe");
    ASSERT_TRUE(tray_.Started());
    ASSERT_NE(kxtest::WaitForWindow(kTrayClass, kStartBound), nullptr);

    HelperWindow first = kxtest::StartHelperWindow(L"TKXReadOnlyFirst", L"Read-only key first");
    ASSERT_NE(first.window, nullptr);
    ASSERT_TRUE(kxtest::BringToFront(first.window));
    ASSERT_TRUE(BecomesHigh(first)) << "the program in front was not accelerated";
    EXPECT_EQ(kxtest::ReadStringValue(L"Handle"), std::wstring(L"0")) << "the key was not read-only";
    EXPECT_EQ(kxtest::ReadDwordValue(L"ReloadList"), DWORD{1});

    ::Sleep(1500);  // the tick that accelerated has ended
    const DWORD settled = kxtest::TestPerfCollectCount();
    ::Sleep(6000);  // six ticks with the focus put
    const DWORD afterIdleTicks = kxtest::TestPerfCollectCount();
    EXPECT_EQ(afterIdleTicks, settled) << "the performance data was asked for while the focus stayed put";
    std::printf("Collect calls: %lu after the first focus change, %lu more in six ticks without one\n",
                static_cast<unsigned long>(settled), static_cast<unsigned long>(afterIdleTicks - settled));

    HelperWindow second = kxtest::StartHelperWindow(L"TKXReadOnlySecond", L"Read-only key second");
    ASSERT_NE(second.window, nullptr);
    ASSERT_TRUE(kxtest::BringToFront(second.window));
    ASSERT_TRUE(BecomesHigh(second));
    EXPECT_TRUE(kxtest::WaitUntil(
        [&] { return kxtest::PriorityClassOf(first.pid) == static_cast<DWORD>(NORMAL_PRIORITY_CLASS); }, kTickBound))
        << "the previous program was not put back";
    ::Sleep(1500);
    const DWORD afterSecondChange = kxtest::TestPerfCollectCount();
    EXPECT_GT(afterSecondChange, afterIdleTicks) << "a change of focus took no sample";
    // One sample, a second query at most when the buffer has to grow.
    EXPECT_LE(afterSecondChange - afterIdleTicks, 2u);
    ::Sleep(5000);
    EXPECT_EQ(kxtest::TestPerfCollectCount(), afterSecondChange);

    // What a tick costs the tray, with the key read-only and then writable.
    const std::string pid = kxtest::LinuxPidOf("KestrixTray.exe");
    if (pid.empty()) {
        std::printf("the tray's Linux process was not found; its processor time is not measured\n");
        return;
    }
    const double readOnly = TrayCpuMsPerSecond(pid, 20);
    ASSERT_TRUE(kxtest::MakeKeyWritable());
    ASSERT_TRUE(kxtest::BringToFront(first.window));
    EXPECT_TRUE(kxtest::WaitUntil(
        [&] { return kxtest::ReadStringValue(L"Handle") == kxtest::HandleText(first.window); }, kTickBound));
    ::Sleep(1500);
    EXPECT_TRUE(kxtest::WaitUntil([] { return kxtest::ReadDwordValue(L"ReloadList") == DWORD{0}; }, kTickBound))
        << "the reload request was not cleared once the key took writes";
    const double writable = TrayCpuMsPerSecond(pid, 20);
    std::printf("KestrixTray processor time: %.2f ms/s with the key read-only, %.2f ms/s with it writable\n",
                readOnly, writable);
    first.program.Terminate();
    second.program.Terminate();
}

}  // namespace
