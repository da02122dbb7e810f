// wine-test: version=win7 desktop=yes timeout=400
// KestrixSetup.exe in a fresh prefix: a silent installation puts the four
// files into the Program Files folder of the build's bitness, the logon entry with "/start",
// the defaults (keeping a value the user has), the rights of ordinary users on
// the settings key and the data folder, and leaves KestrixTray running; a
// silent uninstallation closes KestrixTray and the main program and leaves no
// file, no logon entry, no settings key and no process, but keeps the user's
// block list.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <string>

#include "WineTestSupport.h"
#include "update/UpdateDates.h"
#include "platform/win32/Win32Clock.h"

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path)) && path != nullptr) folder = path;
    ::CoTaskMemFree(path);
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

// The 32-bit build installs into the 32-bit Program Files folder, an x86_64
// build into the 64-bit one.
std::wstring InstallFolder() {
    return KnownFolder(kxtest::kIs64BitBuild ? FOLDERID_ProgramFiles : FOLDERID_ProgramFilesX86) +
           L"VELMOR\\Kestrix\\";
}
std::wstring DataFolder() { return KnownFolder(FOLDERID_ProgramData) + L"VELMOR\\Kestrix\\"; }
std::wstring BlockListFile() { return DataFolder() + L"Kestrix.csv"; }

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The processes whose executable has that name.
int ProcessCount(const wchar_t* exe) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, exe) == 0) ++count;
    }
    ::CloseHandle(snapshot);
    return count;
}

// The rights an allowing entry of the DACL gives BUILTIN\Users; 0 when none.
ACCESS_MASK UsersRights(PACL dacl) {
    BYTE users[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof users;
    if (dacl == nullptr || !::CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &size)) return 0;
    ACCESS_MASK rights = 0;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && ::EqualSid(&allowed->SidStart, users)) {
            rights |= allowed->Mask;
        }
    }
    return rights;
}

ACCESS_MASK KeyRightsOfUsers() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kxtest::kSettingsKey, 0, READ_CONTROL | kxtest::kProgramView, &key) != 0) return 0;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ACCESS_MASK rights = 0;
    if (::GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                          &descriptor) == ERROR_SUCCESS) {
        rights = UsersRights(dacl);
        ::LocalFree(descriptor);
    }
    ::RegCloseKey(key);
    return rights;
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

    // Ordinary users may write the settings and the data folder.
    const ACCESS_MASK key = KeyRightsOfUsers();
    EXPECT_EQ(key & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_QUERY_VALUE), static_cast<ACCESS_MASK>(KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_QUERY_VALUE));
    // Wine keeps no DACL on files (it makes one up from the Unix permissions),
    // so only the folder's creation can be seen here; the grant itself is the
    // same call that works on the key.
    EXPECT_TRUE(Exists(DataFolder()));

    // KestrixTray runs from the installed folder.
    HWND tray = kxtest::WaitForWindow(L"TKXTrayForm", 20000);
    ASSERT_NE(tray, nullptr) << "KestrixTray is not running after the installation";
    EXPECT_EQ(ProcessCount(L"KestrixTray.exe"), 1);
    kxtest::SaveScreenshot(L"after_install");

    // The main program runs too when the uninstallation begins.
    kxtest::Program main = kxtest::StartProgram(InstallFolder() + L"Kestrix.exe", L"", InstallFolder());
    ASSERT_NE(kxtest::WaitForWindow(L"TKXMainForm", 20000), nullptr);
    main.Terminate();  // the holder lets go; the process runs on by itself
    main = kxtest::StartProgram(InstallFolder() + L"Kestrix.exe", L"/settings", InstallFolder());
    ASSERT_NE(kxtest::WaitForWindow(L"TKXSettingsForm", 20000), nullptr);

    ASSERT_EQ(kxtest::RunProgram(InstallFolder() + L"Uninstall.exe", L"/S", 60000), 0);
    // The uninstaller goes on from a copy of itself in the temporary folder.
    EXPECT_TRUE(kxtest::WaitUntil([] { return !Exists(InstallFolder()); }, 60000)) << "the program folder stays";
    EXPECT_TRUE(kxtest::WaitUntil([] { return kxtest::FindTopWindow(L"TKXTrayForm") == nullptr; }, 10000));
    EXPECT_TRUE(main.WaitForExit(10000)) << "the main program still runs";
    EXPECT_TRUE(kxtest::WaitUntil([] { return ProcessCount(L"KestrixTray.exe") == 0 && ProcessCount(L"Kestrix.exe") == 0; },
                                  10000));
    EXPECT_FALSE(kxtest::ReadValue(L"KestrixTray", kRunKey).has_value()) << "the logon entry stays";
    EXPECT_FALSE(kxtest::KeyExists()) << "the settings key stays";
    EXPECT_FALSE(Exists(KnownFolder(FOLDERID_CommonPrograms) + L"Kestrix"));
    const auto kept = kxtest::ReadFileBytes(BlockListFile());
    ASSERT_TRUE(kept.has_value()) << "the user's block list was removed";
    EXPECT_EQ(*kept, userList);
}

}  // namespace
