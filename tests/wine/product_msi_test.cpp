// wine-test: version=win10 desktop=no timeout=500
// Kestrix.msi in a fresh prefix, through msiexec as a deployment tool runs it:
// a silent installation on a window station no one sees puts the files, the
// defaults (keeping a value that is there), the rights of ordinary users, the
// logon entry and the records in place and starts nothing; a newer package
// replaces it (closing a running KestrixTray) and keeps every value an
// administrator or a user set; the older package over the newer one, and any
// package on Windows older than 7, is refused with 1603 and changes nothing;
// msiexec /x removes what it wrote and keeps the block list and a colour the user chose.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "SetupSupport.h"
#include "WineTestSupport.h"
#include "config/Contract.h"
#include "platform/win32/Win32Clock.h"
#include "update/UpdateDates.h"

namespace {

using kxtest::DataFolder;
using kxtest::Exists;
using kxtest::InstallFolder;

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kUninstallRoot[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kInstallRecord[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrix";
constexpr int kInstallFailure = 1603;  // ERROR_INSTALL_FAILURE
constexpr const wchar_t* kFiles[] = {L"KestrixTray.exe", L"Kestrix.exe", L"KestrixUpdate.exe", L"Kestrix.chm"};

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH];
    const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::wstring(full, length) : path;
}
std::wstring Package() { return FullPath(kxtest::BinFolder() + L"..\\product\\Kestrix.msi"); }
std::wstring NextPackage() { return FullPath(kxtest::BinFolder() + L"..\\installer\\Kestrix-next.msi"); }

std::wstring SystemProgram(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length) + L"\\" + name;
}

// msiexec's exit code as Windows gives it (all 32 bits, not a Unix status byte).
int Msiexec(const std::wstring& arguments) {
    return kxtest::RunProgram(SystemProgram(L"msiexec.exe"), arguments + L" /qn", 180000);
}

// The DisplayVersion of each Windows Installer record of Kestrix (the
// {ProductCode} keys Programs and Features lists).
std::vector<std::wstring> PackageRecords() {
    std::vector<std::wstring> versions;
    HKEY root = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallRoot, 0, KEY_READ | kxtest::kProgramView, &root) != 0) {
        return versions;
    }
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(root, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (name[0] != L'{') continue;
        const std::wstring key = std::wstring(kUninstallRoot) + L"\\" + name;
        if (kxtest::ReadStringValue(L"DisplayName", key) == L"Kestrix") {
            versions.push_back(kxtest::ReadStringValue(L"DisplayVersion", key).value_or(L"?"));
        }
    }
    ::RegCloseKey(root);
    return versions;
}

// The packages' versions: the product's first three parts, and one build later.
std::string PackageVersion(int later) {
    const auto& parts = kx::contract::kVersionParts;
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2] + later);
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow.push_back(c < 128 ? static_cast<char>(c) : '?');
    return narrow;
}

std::vector<std::string> Narrow(const std::vector<std::wstring>& texts) {
    std::vector<std::string> narrow;
    for (const std::wstring& text : texts) narrow.push_back(Narrow(text));
    return narrow;
}

void ExpectInstalled(const char* when) {
    SCOPED_TRACE(when);
    for (const wchar_t* file : kFiles) EXPECT_TRUE(Exists(InstallFolder() + file)) << Narrow(file) << " is not installed";
    EXPECT_EQ(kxtest::ReadStringValue(L"KestrixTray", kRunKey), L"\"" + InstallFolder() + L"KestrixTray.exe\" /start");
    // The main program's "Start with Windows" reads the install location here.
    EXPECT_EQ(kxtest::ReadStringValue(L"InstallLocation", kInstallRecord), InstallFolder());
}

void ElapsedLine(const char* what, DWORD started) {
    std::printf("%s: %lu ms\n", what, static_cast<unsigned long>(::GetTickCount() - started));
}

TEST(ProductMsi, InstallUpgradeRefusedDowngradeAndRemoval) {
    ASSERT_TRUE(Exists(Package())) << "build the kestrix_msi target first";
    ASSERT_TRUE(Exists(NextPackage()));
    // What an administrator set before (priority below normal, stored as the
    // DWORD of -1), and a user's block list.
    ASSERT_TRUE(kxtest::SetDwordValue(L"ProcessorPriority", 0xFFFFFFFFu));
    ::SHCreateDirectoryExW(nullptr, DataFolder().c_str(), nullptr);
    const std::string userList = "\"+\", \"1\", \"My game\", \"kept\"\r\n";
    ASSERT_TRUE(kxtest::WriteFileBytes(DataFolder() + L"Kestrix.csv", userList));

    // --- A deployment tool's installation: no one signed in, nothing started;
    // the administrator chose the language.
    DWORD started = ::GetTickCount();
    ASSERT_EQ(kxtest::RunOnHiddenWindowStation(SystemProgram(L"msiexec.exe"), L"/i \"" + Package() + L"\" /qn KX_LANGUAGE=french"),
              0);
    ElapsedLine("msi install", started);
    ExpectInstalled("after the installation");
    EXPECT_EQ(Narrow(PackageRecords()), std::vector<std::string>{PackageVersion(0)});
    EXPECT_TRUE(Exists(kxtest::KnownFolder(FOLDERID_CommonPrograms) + L"Kestrix\\Kestrix.lnk") ||
                Exists(kxtest::KnownFolder(FOLDERID_Programs) + L"Kestrix\\Kestrix.lnk"))
        << "no Start Menu shortcut";
    ::Sleep(2000);
    EXPECT_EQ(kxtest::ProcessCount(L"KestrixTray.exe"), 0) << "the package started KestrixTray";

    // Defaults where there was nothing, as DWORDs and texts; the switches of
    // added behaviours on; the administrator's value kept; colours left to KestrixTray.
    EXPECT_EQ(kxtest::ReadDwordValue(L"ProcessorPriority"), 0xFFFFFFFFu);
    for (const wchar_t* on : {L"ProcessorIdeal", L"LoadTrayIcon", L"LoadKestrix", L"InstantBoost", L"RestoreOnExit"}) {
        EXPECT_EQ(kxtest::ReadDwordValue(on), 1u) << Narrow(on);
    }
    EXPECT_EQ(kxtest::ReadDwordValue(L"ReloadList"), 0u);
    EXPECT_EQ(kxtest::ReadStringValue(L"Language"), L"french") << "a default given on the command line";
    EXPECT_EQ(kxtest::ReadStringValue(L"Handle"), L"0");
    EXPECT_FALSE(kxtest::ReadValue(L"BarColor").has_value());
    const auto updated = kxtest::ReadStringValue(L"UpdatedDate");
    ASSERT_TRUE(updated.has_value()) << "UpdatedDate was not stamped";
    kx::Win32Clock clock;
    EXPECT_NEAR(std::stol(*updated), kx::DateTimeToLocalSeconds(kx::CurrentMoment(clock)), 300) << Narrow(*updated);
    // The same rights as KestrixSetup.exe gives, through the same helper.
    const std::vector<kxtest::UsersEntry> users = kxtest::KeyEntriesOfUsers();
    ASSERT_EQ(users.size(), 1u) << "the rights of Users on the settings key were not set";
    EXPECT_EQ(users[0].mask, static_cast<ACCESS_MASK>(KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY));
    EXPECT_EQ(users[0].flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE), 0);

    // --- An administrator's and a user's later choices, and a running KestrixTray.
    ASSERT_TRUE(kxtest::SetDwordValue(L"InstantBoost", 0));
    ASSERT_TRUE(kxtest::SetStringValue(L"BarColor", L"clRed"));
    ASSERT_TRUE(kxtest::SetStringValue(L"Language", L"#french"));  // a text a raw search returns escaped
    kxtest::Program tray = kxtest::StartProgram(InstallFolder() + L"KestrixTray.exe", L"", InstallFolder());
    ASSERT_NE(kxtest::WaitForWindow(L"TKXTrayForm", 20000), nullptr);

    // --- The newer package replaces the older one.
    started = ::GetTickCount();
    ASSERT_EQ(Msiexec(L"/i \"" + NextPackage() + L"\""), 0);
    ElapsedLine("msi upgrade", started);
    EXPECT_TRUE(tray.WaitForExit(10000)) << "the upgrade did not close KestrixTray";
    ExpectInstalled("after the upgrade");
    EXPECT_EQ(Narrow(PackageRecords()), std::vector<std::string>{PackageVersion(1)}) << "not one record of the newer version";
    EXPECT_EQ(kxtest::ReadDwordValue(L"InstantBoost"), 0u) << "the upgrade reset an administrator's value";
    EXPECT_EQ(kxtest::ReadDwordValue(L"ProcessorPriority"), 0xFFFFFFFFu);
    EXPECT_EQ(kxtest::ReadStringValue(L"BarColor"), L"clRed");
    EXPECT_EQ(kxtest::ReadStringValue(L"Language"), L"#french");
    EXPECT_EQ(kxtest::ReadDwordValue(L"LoadKestrix"), 1u);
    EXPECT_EQ(kxtest::KeyEntriesOfUsers().size(), 1u);

    // --- The older package over the newer one: refused, nothing changed.
    EXPECT_EQ(Msiexec(L"/i \"" + Package() + L"\""), kInstallFailure);
    EXPECT_EQ(Narrow(PackageRecords()), std::vector<std::string>{PackageVersion(1)});
    ExpectInstalled("after the refused downgrade");

    // --- Removal: what was installed goes, settings values included; a
    // subkey an ordinary account made and the block list stay.
    HKEY userMade = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kxtest::kSettingsKey) + L"\\UserMade").c_str(), 0,
                                nullptr, 0, KEY_WRITE | kxtest::kProgramView, nullptr, &userMade, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(userMade);
    started = ::GetTickCount();
    ASSERT_EQ(Msiexec(L"/x \"" + NextPackage() + L"\""), 0);
    ElapsedLine("msi removal", started);
    for (const wchar_t* file : kFiles) EXPECT_FALSE(Exists(InstallFolder() + file)) << Narrow(file) << " stays";
    EXPECT_FALSE(Exists(InstallFolder())) << "the program folder stays";
    EXPECT_FALSE(kxtest::ReadValue(L"KestrixTray", kRunKey).has_value()) << "the logon entry stays";
    EXPECT_FALSE(kxtest::KeyExists(kInstallRecord)) << "the install record stays";
    EXPECT_TRUE(PackageRecords().empty());
    for (const wchar_t* value : {L"Handle", L"ProcessorPriority", L"InstantBoost", L"Language", L"UpdatedDate"}) {
        EXPECT_FALSE(kxtest::ReadValue(value).has_value()) << Narrow(value) << " stays";
    }
    // A value the package never wrote is the user's, as the block list is.
    EXPECT_EQ(kxtest::ReadStringValue(L"BarColor"), L"clRed");
    EXPECT_TRUE(kxtest::KeyExists(std::wstring(kxtest::kSettingsKey) + L"\\UserMade"));
    EXPECT_FALSE(Exists(kxtest::KnownFolder(FOLDERID_CommonPrograms) + L"Kestrix") ||
                 Exists(kxtest::KnownFolder(FOLDERID_Programs) + L"Kestrix"))
        << "the Start Menu folder stays";
    EXPECT_EQ(kxtest::ReadFileBytes(DataFolder() + L"Kestrix.csv"), userList) << "the user's block list was not kept";

    // --- Windows Vista: refused before anything is installed.
    ASSERT_EQ(kxtest::RunProgram(SystemProgram(L"winecfg.exe"), L"-v vista", 60000), 0);
    EXPECT_EQ(Msiexec(L"/i \"" + Package() + L"\""), kInstallFailure);
    EXPECT_FALSE(Exists(InstallFolder() + L"KestrixTray.exe"));
    EXPECT_FALSE(kxtest::ReadValue(L"KestrixTray", kRunKey).has_value());
    EXPECT_TRUE(PackageRecords().empty());
}

}  // namespace
