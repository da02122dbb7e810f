// wine-test: version=win10 desktop=no timeout=60 bits=32
// the registry redirection of a 32-bit program into the 32-bit view of a 64-bit system
// A 32-bit program's settings land where 64-bit Windows redirects a 32-bit
// program's HKLM\Software: below Software\WOW6432Node of the 64-bit view,
// which is where the README sends users (reg query ... /reg:32).
#include <gtest/gtest.h>

#include <windows.h>

#include "WineTestSupport.h"
#include "config/Settings.h"
#include "platform/win32/Win32Registry.h"

namespace {

constexpr wchar_t kRedirectedKey[] = L"Software\\WOW6432Node\\VELMOR\\Kestrix";

TEST(SettingsOf32BitProgram, LandInTheRedirectedKeyOfThe64BitView) {
    if (kxtest::kIs64BitBuild) GTEST_SKIP() << "a 64-bit program's settings are not redirected";
    ASSERT_TRUE(kxtest::DeleteKeyTree());
    kx::Win32Registry registry;
    kx::SettingsStore store{registry};
    store.RegWriteString(u"Handle", u"424242");

    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRedirectedKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key),
              ERROR_SUCCESS);
    wchar_t text[32] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    DWORD type = 0;
    EXPECT_EQ(::RegQueryValueExW(key, L"Handle", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(text, L"424242");
    EXPECT_FALSE(kxtest::KeyExists(kxtest::kSettingsKey, KEY_WOW64_64KEY))
        << "a 32-bit program's settings must not be in the 64-bit view's own key";
    kxtest::DeleteKeyTree();
}

}  // namespace
