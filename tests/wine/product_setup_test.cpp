// wine-test: version=win7 desktop=yes timeout=400
// KestrixSetup.exe in a fresh prefix: a silent installation puts the four
// files into the Program Files folder of the build's bitness, the logon entry with "/start",
// the defaults (keeping a value the user has), exactly the rights ordinary
// users need on the settings key (replacing an earlier, broader grant) and
// the data folder, and leaves KestrixTray running, started through the
// desktop shell rather than by the elevated installer; a silent
// uninstallation closes KestrixTray and the main program and leaves no file,
// no logon entry, no settings value and no process, but keeps the user's
// block list and a subkey an ordinary account made.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "SetupSupport.h"
#include "WineTestSupport.h"
#include "update/UpdateDates.h"
#include "platform/win32/Win32Clock.h"

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrix";

using kxtest::DataFolder;
using kxtest::Exists;
using kxtest::InstallFolder;
using kxtest::KeyEntriesOfUsers;
using kxtest::KnownFolder;
using kxtest::UsersEntry;

std::wstring BlockListFile() { return DataFolder() + L"Kestrix.csv"; }

// What an earlier installation granted: Users read, write and DELETE, inherited by every subkey.
bool GrantUsersTheOldBroadRights() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;KA;;;BA)(A;OICI;KA;;;SY)(A;OICI;0x3001f;;;BU)",
                                                                SDDL_REVISION_1, &descriptor, nullptr)) {
        return false;
    }
    HKEY key = nullptr;
    bool done = false;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kxtest::kSettingsKey, 0, nullptr, 0, WRITE_DAC | kxtest::kProgramView, nullptr,
                          &key, nullptr) == ERROR_SUCCESS) {
        done = ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
        ::RegCloseKey(key);
    }
    ::LocalFree(descriptor);
    return done;
}


std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow.push_back(c < 128 ? static_cast<char>(c) : '?');
    return narrow;
}

TEST(ProductSetup, SilentInstallAndUninstallLeaveExactlyWhatTheyShould) {
    const std::wstring setup = kxtest::BinFolder() + L"..\\product\\KestrixSetup.exe";
    ASSERT_TRUE(Exists(setup)) << "build the kestrix_setup target first";
    // A user's value and a user's block list from an earlier installation.
    ASSERT_TRUE(kxtest::SetDwordValue(L"ProcessorPriority", 1));
    ASSERT_TRUE(GrantUsersTheOldBroadRights());
    ::SHCreateDirectoryExW(nullptr, DataFolder().c_str(), nullptr);
    std::string userList = "\xFF\xFE";
    for (wchar_t c : std::wstring(L"\"+\", \"1\", \"My game\", \"kept\"\r\n")) {
        userList.push_back(static_cast<char>(c & 0xFF));
        userList.push_back(static_cast<char>(c >> 8));
    }
    ASSERT_TRUE(kxtest::WriteFileBytes(BlockListFile(), userList));

    const DWORD started = ::GetTickCount();
    ASSERT_EQ(kxtest::RunProgram(setup, L"/S", 120000), 0) << "the silent installation failed";
    std::printf("silent installation: %lu ms\n", static_cast<unsigned long>(::GetTickCount() - started));

    for (const wchar_t* file : {L"KestrixTray.exe", L"Kestrix.exe", L"KestrixUpdate.exe", L"Kestrix.chm", L"Uninstall.exe"}) {
        EXPECT_TRUE(Exists(InstallFolder() + file)) << Narrow(file) << " is not installed";
    }
    EXPECT_EQ(kxtest::ReadStringValue(L"KestrixTray", kRunKey), L"\"" + InstallFolder() + L"KestrixTray.exe\" /start");
    EXPECT_TRUE(Exists(KnownFolder(FOLDERID_CommonPrograms) + L"Kestrix\\Kestrix.lnk"));

    // Defaults where there was nothing; the user's priority stays.
    EXPECT_EQ(kxtest::ReadDwordValue(L"ProcessorPriority"), 1u);
    EXPECT_EQ(kxtest::ReadDwordValue(L"ProcessorIdeal"), 1u);
    EXPECT_EQ(kxtest::ReadDwordValue(L"LoadTrayIcon"), 1u);
    EXPECT_EQ(kxtest::ReadDwordValue(L"LoadKestrix"), 1u);
    EXPECT_TRUE(kxtest::ReadDwordValue(L"ReloadList").has_value());
    EXPECT_EQ(kxtest::ReadStringValue(L"Language"), L"english");
    EXPECT_FALSE(kxtest::ReadValue(L"BarColor").has_value()) << "colours are left to KestrixTray's defaults";
    // UpdatedDate: now, as decimal local seconds.
    const auto updated = kxtest::ReadStringValue(L"UpdatedDate");
    ASSERT_TRUE(updated.has_value());
    kx::Win32Clock clock;
    const long now = kx::DateTimeToLocalSeconds(kx::CurrentMoment(clock));
    EXPECT_NEAR(std::stol(*updated), now, 300) << Narrow(*updated);

    // Ordinary users get what the programs open the settings key with
    // (KEY_READ and KEY_WRITE), on this key only: they can neither delete it
    // nor change its rights, and the earlier broader grant is gone.
    const std::vector<UsersEntry> users = KeyEntriesOfUsers();
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].mask, static_cast<ACCESS_MASK>(KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY));
    EXPECT_EQ(users[0].flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERITED_ACE), 0);
    EXPECT_EQ(users[0].mask & (DELETE | WRITE_DAC | WRITE_OWNER), 0u);
    // Wine keeps no DACL on files (it makes one up from the Unix permissions),
    // so only the folder's creation can be seen here; the grant itself is the
    // same call that works on the key.
    EXPECT_TRUE(Exists(DataFolder()));

    // KestrixTray runs from the installed folder.
    HWND tray = kxtest::WaitForWindow(L"TKXTrayForm", 20000);
    ASSERT_NE(tray, nullptr) << "KestrixTray is not running after the installation";
    EXPECT_EQ(kxtest::ProcessCount(L"KestrixTray.exe"), 1);
    // Started by the desktop shell, so it runs with the shell's token, not setup's.
    EXPECT_EQ(_wcsicmp(kxtest::ParentNameOf(L"KestrixTray.exe").c_str(), L"explorer.exe"), 0)
        << Narrow(kxtest::ParentNameOf(L"KestrixTray.exe"));
    kxtest::SaveScreenshot(L"after_install");

    // The desktop outlives the installation and the helpers it ran: its
    // taskbar, and KestrixTray on it, are still there well after they ended.
    HWND taskbar = kxtest::FindTopWindow(L"Shell_TrayWnd");
    ASSERT_NE(taskbar, nullptr) << "the desktop has no taskbar";
    ::Sleep(12000);
    EXPECT_TRUE(::IsWindow(taskbar)) << "the desktop closed after the installation";
    EXPECT_TRUE(::IsWindow(tray)) << "KestrixTray ended after the installation";

    // The main program runs too when the uninstallation begins.
    kxtest::Program main = kxtest::StartProgram(InstallFolder() + L"Kestrix.exe", L"", InstallFolder());
    ASSERT_NE(kxtest::WaitForWindow(L"TKXMainForm", 20000), nullptr);
    main.Terminate();  // the holder lets go; the process runs on by itself
    main = kxtest::StartProgram(InstallFolder() + L"Kestrix.exe", L"/settings", InstallFolder());
    ASSERT_NE(kxtest::WaitForWindow(L"TKXSettingsForm", 20000), nullptr);

    // A subkey an ordinary account made (the key lets them): not the uninstaller's to remove.
    HKEY userMade = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kxtest::kSettingsKey) + L"\\UserMade").c_str(), 0,
                                nullptr, 0, KEY_WRITE | kxtest::kProgramView, nullptr, &userMade, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(userMade);

    const DWORD uninstallStarted = ::GetTickCount();
    ASSERT_EQ(kxtest::RunProgram(InstallFolder() + L"Uninstall.exe", L"/S", 60000), 0);
    // The uninstaller goes on from a copy of itself in the temporary folder;
    // its last step removes the uninstall record.
    EXPECT_TRUE(kxtest::WaitUntil([] { return !Exists(InstallFolder()); }, 60000)) << "the program folder stays";
    EXPECT_TRUE(kxtest::WaitUntil([] { return !kxtest::KeyExists(kUninstallKey); }, 60000)) << "the uninstall record stays";
    std::printf("silent uninstallation: %lu ms\n", static_cast<unsigned long>(::GetTickCount() - uninstallStarted));
    EXPECT_TRUE(kxtest::WaitUntil([] { return kxtest::FindTopWindow(L"TKXTrayForm") == nullptr; }, 10000));
    EXPECT_TRUE(main.WaitForExit(10000)) << "the main program still runs";
    EXPECT_TRUE(kxtest::WaitUntil(
        [] { return kxtest::ProcessCount(L"KestrixTray.exe") == 0 && kxtest::ProcessCount(L"Kestrix.exe") == 0; },
                                  10000));
    EXPECT_FALSE(kxtest::ReadValue(L"KestrixTray", kRunKey).has_value()) << "the logon entry stays";
    for (const wchar_t* value : {L"Handle", L"ProcessorPriority", L"ReloadList", L"Language", L"UpdatedDate"}) {
        EXPECT_FALSE(kxtest::ReadValue(value).has_value()) << Narrow(value) << " stays";
    }
    EXPECT_TRUE(kxtest::KeyExists(std::wstring(kxtest::kSettingsKey) + L"\\UserMade")) << "the uninstaller recursed";
    EXPECT_FALSE(Exists(KnownFolder(FOLDERID_CommonPrograms) + L"Kestrix"));
    const auto kept = kxtest::ReadFileBytes(BlockListFile());
    ASSERT_TRUE(kept.has_value()) << "the user's block list was removed";
    EXPECT_EQ(*kept, userList);
}

}  // namespace
