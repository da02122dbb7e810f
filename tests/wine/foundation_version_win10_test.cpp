// wine-test: version=win10 desktop=no timeout=60
// Windows 10 is index 8: the manifest's supportedOS entries make Windows
// report 10.0 rather than 6.2.
#include <gtest/gtest.h>

#include "config/WindowsVersion.h"
#include "platform/win32/Win32System.h"

TEST(WindowsVersionOnWindows10, IndexIsEight) {
    kx::Win32System system;
    kx::OsVersionInfo info;
    info.dwOSVersionInfoSize = 284;
    ASSERT_TRUE(system.GetVersionExW(&info));
    ASSERT_EQ(info.dwMajorVersion, 10u);
    EXPECT_EQ(kx::GetWindowsVersionIndex(system), 8);
}
