// wine-test: version=win7 desktop=yes timeout=200
// KestrixSetup.exe on a window station no one sees (as under a deployment
// tool running as SYSTEM, or a service): the silent installation succeeds
// and starts nothing, since a program it started would run with its token;
// its uninstallation, asked to, removes the block list along checked paths.
#include <gtest/gtest.h>

#include <string>

#include "WineTestSupport.h"

namespace {

constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrix";

// Runs exe with arguments on a desktop of a new, invisible window station
// and returns its exit code; -1 when it could not be run or did not end.
int RunOnHiddenWindowStation(const std::wstring& exe, const std::wstring& arguments) {
    HWINSTA station = ::CreateWindowStationW(L"KxTestService", 0, WINSTA_ALL_ACCESS, nullptr);
    if (station == nullptr) return -1;
    HWINSTA own = ::GetProcessWindowStation();
    HDESK desktop = nullptr;
    if (::SetProcessWindowStation(station)) {
        desktop = ::CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        ::SetProcessWindowStation(own);
    }
    int code = -1;
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    wchar_t where[] = L"KxTestService\\Default";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = where;
    PROCESS_INFORMATION process{};
    if (desktop != nullptr && ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                               &startup, &process)) {
        DWORD exit = 0;
        if (::WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0 &&
            ::GetExitCodeProcess(process.hProcess, &exit)) {
            code = static_cast<int>(exit);
        }
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    if (desktop != nullptr) ::CloseDesktop(desktop);
    ::CloseWindowStation(station);
    return code;
}

TEST(ProductSetupHeadless, ASilentInstallWithoutAnInteractiveDesktopStartsNothing) {
    const std::wstring setup = kxtest::BinFolder() + L"..\\product\\KestrixSetup.exe";
    const std::wstring helper = kxtest::BinFolder() + L"..\\installer\\kxacl.exe";
    // The helper says so, and does not try the shell of a desktop it is not on.
    EXPECT_EQ(RunOnHiddenWindowStation(helper, L"start C:\\windows\\system32\\notepad.exe"), 3);
    EXPECT_EQ(kxtest::ProcessCount(L"notepad.exe"), 0);

    ASSERT_EQ(RunOnHiddenWindowStation(setup, L"/S"), 0) << "the silent installation failed";
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
