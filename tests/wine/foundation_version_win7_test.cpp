// wine-test: version=win7 desktop=no timeout=60
// Windows 7 (6.1 workstation) is index 5, through the real GetVersionExW.
#include <gtest/gtest.h>

#include "config/WindowsVersion.h"
#include "platform/win32/Win32System.h"

TEST(WindowsVersionOnWindows7, IndexIsFive) {
    kx::Win32System system;
    kx::OsVersionInfo info;
    info.dwOSVersionInfoSize = 284;
    ASSERT_TRUE(system.GetVersionExW(&info));
    ASSERT_EQ(info.dwMajorVersion, 6u);
    ASSERT_EQ(info.dwMinorVersion, 1u);
    EXPECT_EQ(kx::GetWindowsVersionIndex(system), 5);
}
