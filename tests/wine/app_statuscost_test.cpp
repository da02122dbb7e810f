// wine-test: version=win10 desktop=yes timeout=300
// What CorePlacement and ShowStatus cost the real tray: the same run, once
// with both off and once with both on, while the focus moves between two
// helper programs every two seconds (so that looks raise, place, restore and
// write their outcome). The tray's processor time per second, from its
// threads' scheduler clocks (/proc/PID/task/*/schedstat), is printed for both
// and as a ratio; the test holds only that both runs raised the programs.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ProcessCost.h"
#include "WineTestSupport.h"

namespace {

using kxtest::HelperWindow;

constexpr wchar_t kTrayClass[] = L"TKXTrayForm";
constexpr DWORD kStartBound = 20000;
constexpr int kSwitches = 10;
constexpr DWORD kSwitchMs = 2000;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The nanoseconds every thread of the Linux process has run.
ULONGLONG ThreadClocksNs(const std::string& pid) {
    ULONGLONG total = 0;
    const std::wstring tasks = L"Z:\\proc\\" + Wide(pid) + L"\\task\\";
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW((tasks + L"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        const std::wstring tid = entry.cFileName;
        if (tid.empty() || tid[0] == L'.') continue;
        const auto stat = kxtest::ReadFileBytes(tasks + tid + L"\\schedstat");
        if (stat) total += std::strtoull(stat->c_str(), nullptr, 10);
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    return total;
}

class AppStatusCost : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(kxtest::DeleteKeyTree()); }
    void TearDown() override { kxtest::DeleteKeyTree(); }

    // The tray's milliseconds of processor time per second over the switches.
    double Run(DWORD on) {
        EXPECT_TRUE(kxtest::SetDwordValue(L"CorePlacement", on));
        EXPECT_TRUE(kxtest::SetDwordValue(L"ShowStatus", on));
        kxtest::Program tray = kxtest::StartProgram(L"KestrixTray.exe");
        EXPECT_TRUE(tray.Started());
        EXPECT_NE(kxtest::WaitForWindow(kTrayClass, kStartBound), nullptr);
        HelperWindow a = kxtest::StartHelperWindow(L"TKXCostA", L"Cost A");
        HelperWindow b = kxtest::StartHelperWindow(L"TKXCostB", L"Cost B");
        const std::string pid = kxtest::LinuxPidOf("KestrixTray.exe");
        EXPECT_FALSE(pid.empty());
        ::Sleep(3000);  // the icon added, the first looks made
        const ULONGLONG before = ThreadClocksNs(pid);
        for (int i = 0; i < kSwitches; ++i) {
            kxtest::BringToFront(i % 2 == 0 ? a.window : b.window);
            ::Sleep(kSwitchMs);
        }
        const ULONGLONG after = ThreadClocksNs(pid);
        EXPECT_EQ(kxtest::PriorityClassOf(b.pid), static_cast<DWORD>(HIGH_PRIORITY_CLASS)) << "on " << on;
        kxtest::RunProgram(L"kxtesthelper.exe", std::wstring(L"sendclose ") + kTrayClass, 15000);
        if (!tray.WaitForExit(10000)) tray.Terminate();
        return static_cast<double>(after - before) / 1e6 / (kSwitches * kSwitchMs / 1000.0);
    }
};

TEST_F(AppStatusCost, TheTraysProcessorTimeWithPlacementAndStatusOnAgainstOff) {
    const double off = Run(0);
    const double on = Run(1);
    std::printf("tray CPU, focus moving every %lu ms: off %.3f ms/s, on %.3f ms/s, ratio %.2f\n",
                static_cast<unsigned long>(kSwitchMs), off, on, off > 0 ? on / off : 0.0);
    EXPECT_GT(off, 0.0);
    EXPECT_GT(on, 0.0);
}

}  // namespace
