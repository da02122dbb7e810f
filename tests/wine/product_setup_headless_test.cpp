// wine-test: version=win7 desktop=yes timeout=200
// KestrixSetup.exe on a window station no one sees (as under a deployment
// tool running as SYSTEM, or a service): the silent installation succeeds
// and starts nothing, since a program it started would run with its token;
// its uninstallation, asked to, removes the block list along checked paths.
#include <gtest/gtest.h>

#include <string>

#include "SetupSupport.h"
#include "WineTestSupport.h"

namespace {

constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrix";

TEST(ProductSetupHeadless, ASilentInstallWithoutAnInteractiveDesktopStartsNothing) {
    const std::wstring setup = kxtest::BinFolder() + L"..\\product\\KestrixSetup.exe";
    const std::wstring helper = kxtest::BinFolder() + L"..\\installer\\kxacl.exe";
    // The helper says so, and does not try the shell of a desktop it is not on.
    EXPECT_EQ(kxtest::RunOnHiddenWindowStation(helper, L"start C:\\windows\\system32\\notepad.exe"), 3);
    EXPECT_EQ(kxtest::ProcessCount(L"notepad.exe"), 0);

    ASSERT_EQ(kxtest::RunOnHiddenWindowStation(setup, L"/S"), 0) << "the silent installation failed";
    EXPECT_TRUE(kxtest::ReadValue(L"LoadKestrix").has_value()) << "setup did not run through";
    ::Sleep(3000);
    EXPECT_EQ(kxtest::FindTopWindow(L"TKXTrayForm"), nullptr);
    EXPECT_EQ(kxtest::ProcessCount(L"KestrixTray.exe"), 0) << "setup started KestrixTray without a desktop";

    // Asked to, the uninstaller removes the list, its backup and the folders
    // setup made for them, through the same checks as setup.
    const std::wstring data = kxtest::ProgramDataFolder() + L"VELMOR\\Kestrix\\";
    ASSERT_TRUE(kxtest::WriteFileBytes(data + L"Kestrix.csv", "+ 1 Game mine\r\n")) << "setup made no data folder";
    ASSERT_TRUE(kxtest::WriteFileBytes(data + L"Kestrix.csv.bak", "+ 1 Old mine\r\n"));
    const std::wstring uninstaller = kxtest::ReadStringValue(L"InstallLocation", kUninstallKey).value_or(L"") + L"\\Uninstall.exe";
    ASSERT_EQ(kxtest::RunProgram(uninstaller, L"/S /REMOVELIST", 60000), 0);
    EXPECT_TRUE(kxtest::WaitUntil([] { return !kxtest::KeyExists(kUninstallKey); }, 60000));
    EXPECT_EQ(::GetFileAttributesW((kxtest::ProgramDataFolder() + L"VELMOR").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the list or its folders stay";
}

}  // namespace
