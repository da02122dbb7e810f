// wine-test: version=win10 desktop=yes timeout=240
// What KestrixTray costs beside the floor of any one-hertz graph icon
// (kxflooricon.exe: a one-second timer, the foreground window, a 16 x 16
// picture in a DIB, an icon, NIM_MODIFY). Both run side by side in one
// prefix; their processor times are read from their threads' own clocks
// (/proc/PID/task/*/schedstat) over the same interval, once with the
// settings of the icon's newer looks missing and once with them on, and the
// ratios are printed for the record. A benchmark, not a check: nothing here
// asserts a time.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "DisplayPictures.h"
#include "ProcessCost.h"
#include "WineTestSupport.h"

namespace {

constexpr DWORD kMeasureMs = 30000;

struct Measured {
    double trayMsPerSecond = 0;
    double floorMsPerSecond = 0;
};

Measured MeasureSideBySide(const std::string& trayPid, const std::string& floorPid) {
    const ULONGLONG trayStart = kxtest::LinuxThreadClockTime(trayPid);
    const ULONGLONG floorStart = kxtest::LinuxThreadClockTime(floorPid);
    const auto wallStart = std::chrono::steady_clock::now();
    Sleep(kMeasureMs);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    Measured measured;
    measured.trayMsPerSecond = static_cast<double>(kxtest::LinuxThreadClockTime(trayPid) - trayStart) / 1e4 / wall;
    measured.floorMsPerSecond = static_cast<double>(kxtest::LinuxThreadClockTime(floorPid) - floorStart) / 1e4 / wall;
    return measured;
}

void Report(const char* what, const Measured& m, const char* property) {
    const double ratio = m.floorMsPerSecond > 0 ? m.trayMsPerSecond / m.floorMsPerSecond : 0;
    std::printf("%s: KestrixTray %.3f ms/s, floor %.3f ms/s, ratio %.2f\n", what, m.trayMsPerSecond,
                m.floorMsPerSecond, ratio);
    ::testing::Test::RecordProperty(property, std::to_string(ratio));
}

bool SetThemeValue(DWORD light) {
    return ::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                             L"SystemUsesLightTheme", REG_DWORD, &light, sizeof light) == ERROR_SUCCESS;
}

TEST(FloorRatio, KestrixTrayAgainstTheFloorOfAGraphIcon) {
    kxtest::DeleteKeyTree();
    kxtest::Program tray = kxtest::StartProgram(L"KestrixTray.exe");
    kxtest::Program floor = kxtest::StartProgram(L"kxflooricon.exe");
    ASSERT_TRUE(tray.Started());
    ASSERT_TRUE(floor.Started());
    ASSERT_TRUE(kxtest::WaitUntil([] { return kxdisplay::FindGraphIconNow(kxdisplay::kWindows7Colours).has_value(); },
                                  10000, 100))
        << "no graph icon";
    Sleep(3000);
    const std::string trayPid = kxtest::LinuxPidOf("KestrixTray.exe");
    const std::string floorPid = kxtest::LinuxPidOf("kxflooricon.exe");
    ASSERT_FALSE(trayPid.empty());
    ASSERT_FALSE(floorPid.empty());
    ASSERT_NE(kxtest::LinuxThreadClockTime(trayPid), 0u) << "no thread clocks under Z:\\proc";

    Report("new settings missing", MeasureSideBySide(trayPid, floorPid), "ratio_settings_off");

    ASSERT_TRUE(kxtest::SetDwordValue(L"BusiestCore", 1));
    ASSERT_TRUE(kxtest::SetDwordValue(L"FollowTheme", 1));
    ASSERT_TRUE(SetThemeValue(0));
    Sleep(3000);
    Report("BusiestCore and FollowTheme on, dark theme", MeasureSideBySide(trayPid, floorPid), "ratio_settings_on");

    EXPECT_TRUE(tray.Running());
    EXPECT_TRUE(floor.Running());
    kxtest::SaveScreenshot(L"floorratio-end");
}

}  // namespace
