// kxacl: the installer's helper for what NSIS cannot do safely by itself.
// The installer runs elevated; nothing here follows a link an ordinary
// account could plant, and nothing is started with the installer's token.
//
//   kxacl key <subkey>           gives the local Users group exactly the rights the
//                                programs open HKEY_LOCAL_MACHINE\<subkey> with (read,
//                                set value, create subkey), on that key only, creating
//                                the key when it is missing
//   kxacl folder <base> <own>    makes or secures the data folder <base>\<own> (for
//                                example "C:\ProgramData" "VELMOR\Kestrix"): owned by
//                                Administrators, Users may list it and add files, and
//                                read, write and replace the files; of an earlier
//                                folder only Kestrix.csv and Kestrix.csv.bak are kept
//   kxacl install <folder> [<file>...]  makes the install folder with its rights given
//                                at creation; an existing one that others than the
//                                administrators could change is moved aside (removed when
//                                empty) and made anew; a folder above it others could
//                                change, or a link, is refused (the file names, once
//                                used to judge an open folder, are accepted and unused)
//   kxacl installed <folder>     for the Windows Installer package, after it has written
//                                its files: the same checks as install, but the folder is
//                                never moved aside; one that passes gets the install
//                                folder's rights, one others could change is refused (the
//                                reason on standard error too) and left as it is
//   kxacl files <folder> <staging> <file>...  install, then copies each named file
//                                from the staging folder into the install folder while
//                                every folder of the checked path is held open
//   kxacl removelist <base> <own>  the uninstaller's removal of the block list
//   kxacl start <program>        starts the program through the desktop shell, as the
//                                signed-in user and not elevated; starts nothing when
//                                there is no interactive desktop (exit code 3)
//   kxacl stamp                  writes UpdatedDate = now, in the seconds form (decimal
//                                local seconds since 1970), into the settings key
//   kxacl close                  closes the windows of Kestrix on this desktop (the main
//                                program's in the order KestrixTray's Exit uses, the
//                                updater's, KestrixTray's) and waits until KestrixTray's is gone
//
// Exit code 0 on success, 1 on failure or refusal (the reason on standard
// output, for the installer's message), 2 for a command line it does not
// understand, 3 when start found no desktop.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "companion/SettingsEditor.h"
#include "config/Contract.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32DesktopShell.h"
#include "platform/win32/Win32FileSecurity.h"
#include "setup/SecuredFolders.h"
#include "update/UpdateDates.h"

namespace {

// The registry view of the programs the installer carries: the helper is
// built with them, so its own bitness names their view.
constexpr REGSAM kProgramsView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

// What the programs open the settings key with (KEY_WRITE includes create-subkey).
constexpr ACCESS_MASK kUsersKeyRights = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

void Say(const std::wstring& text, std::FILE* to = stdout) {
    std::fwprintf(to, L"%ls\n", text.c_str());
    std::fflush(to);
}

// The settings key's DACL with every explicit entry for Users replaced by one
// that grants exactly kUsersKeyRights and is not inherited by subkeys. The
// other explicit entries come first as they were, the inherited ones after.
bool KeyDaclWithUsers(PACL old, PSID users, std::vector<BYTE>* acl) {
    std::vector<void*> kept;
    std::vector<void*> inherited;
    DWORD size = static_cast<DWORD>(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) + ::GetLengthSid(users);
    for (DWORD i = 0; old != nullptr && i < old->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(old, i, &ace)) return false;
        auto* header = static_cast<ACE_HEADER*>(ace);
        const bool isInherited = (header->AceFlags & INHERITED_ACE) != 0;
        if (!isInherited && (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) &&
            ::EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, users)) {
            continue;  // the old grant, replaced below
        }
        (isInherited ? inherited : kept).push_back(ace);
        size += header->AceSize;
    }
    acl->assign((size + 3) & ~3u, 0);
    auto* updated = reinterpret_cast<PACL>(acl->data());
    if (!::InitializeAcl(updated, static_cast<DWORD>(acl->size()), ACL_REVISION)) return false;
    for (void* ace : kept) {
        if (!::AddAce(updated, ACL_REVISION, MAXDWORD, ace, static_cast<ACE_HEADER*>(ace)->AceSize)) return false;
    }
    if (!::AddAccessAllowedAceEx(updated, ACL_REVISION, 0, kUsersKeyRights, users)) return false;
    for (void* ace : inherited) {
        if (!::AddAce(updated, ACL_REVISION, MAXDWORD, ace, static_cast<ACE_HEADER*>(ace)->AceSize)) return false;
    }
    return true;
}

int GrantKey(const wchar_t* subKey) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    const REGSAM access = READ_CONTROL | WRITE_DAC | kProgramsView;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, access, nullptr, &key, &disposition) !=
        ERROR_SUCCESS) {
        Say(L"HKEY_LOCAL_MACHINE\\" + std::wstring(subKey) + L" cannot be opened.");
        return 1;
    }
    int result = 1;
    PSECURITY_DESCRIPTOR current = nullptr;
    PACL dacl = nullptr;
    BYTE users[SECURITY_MAX_SID_SIZE];
    DWORD usersSize = sizeof users;
    std::vector<BYTE> acl;
    if (::CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &usersSize) &&
        ::GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                          &current) == ERROR_SUCCESS) {
        SECURITY_DESCRIPTOR descriptor;
        // RegSetKeySecurity changes this key only; subkeys keep what they have.
        if (KeyDaclWithUsers(dacl, users, &acl) &&
            ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
            ::SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE) &&
            ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS) {
            result = 0;
        }
        ::LocalFree(current);
    }
    ::RegCloseKey(key);
    if (result != 0) Say(L"The rights of HKEY_LOCAL_MACHINE\\" + std::wstring(subKey) + L" cannot be set.");
    return result;
}

// The owners a folder of ours may have, and the only accounts that may change
// the install folder or any folder above it: the administrators, the system,
// the system's installer service, and the administrator running this
// installation (who can change anything anyway; a folder an elevated
// administrator makes may be owned by that account).
std::vector<kx::Text> TrustedOwners() {
    std::vector<kx::Text> owners = {kx::kSidAdministrators, kx::kSidLocalSystem, kx::kSidTrustedInstaller};
    const kx::Text self = kx::CurrentUserSid();
    if (!self.empty()) owners.push_back(self);
    return owners;
}

kx::Text Arg(const wchar_t* text) { return kx::Text(reinterpret_cast<const char16_t*>(text)); }

int Report(const kx::FolderOutcome& outcome) {
    const kx::Text text = kx::DescribeOutcome(outcome);
    const std::wstring line(reinterpret_cast<const wchar_t*>(text.c_str()));
    Say(line);
    if (!outcome.ok()) Say(L"kxacl: " + line, stderr);
    return outcome.ok() ? 0 : 1;
}

int StartThroughShell(const wchar_t* program) {
    switch (kx::win32::StartThroughDesktopShell(program)) {
        case kx::win32::ShellStart::Started: return 0;
        case kx::win32::ShellStart::NoDesktop:
            Say(L"No interactive desktop to start " + std::wstring(program) + L" on; it was not started.");
            return 3;
        case kx::win32::ShellStart::Failed: break;
    }
    Say(L"The desktop did not start " + std::wstring(program) + L".");
    return 1;
}

int Stamp() {
    kx::Win32Api api;
    kx::SettingsEditor settings(api.registry, api.system);
    const std::int32_t now = kx::DateTimeToLocalSeconds(kx::CurrentMoment(api.clock));
    if (settings.WriteUpdatedDate(now) != kx::SettingWrite::Written) {
        Say(L"UpdatedDate cannot be written.");
        return 1;
    }
    return 0;
}

// Asks each window of a class to close, at most ten times.
void CloseWindowsOfClass(const char16_t* className) {
    const auto* name = reinterpret_cast<const wchar_t*>(className);
    for (int attempt = 0; attempt < 10; ++attempt) {
        HWND window = ::FindWindowW(name, nullptr);
        if (window == nullptr) return;
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
        ::Sleep(100);
    }
}

int Close() {
    for (const char16_t* className : kx::contract::kCompanionWindowClasses) CloseWindowsOfClass(className);
    CloseWindowsOfClass(kx::contract::kUpdaterWindowClass);
    CloseWindowsOfClass(kx::contract::kTrayWindowClass);
    const auto* tray = reinterpret_cast<const wchar_t*>(kx::contract::kTrayWindowClass);
    for (int wait = 0; wait < 50 && ::FindWindowW(tray, nullptr) != nullptr; ++wait) ::Sleep(100);
    // The processes end shortly after their windows.
    ::Sleep(500);
    return ::FindWindowW(tray, nullptr) == nullptr ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    kx::Win32FileSecurity security;
    kx::SecuredFolders folders(security, TrustedOwners());
    if (argc == 3 && std::wcscmp(argv[1], L"key") == 0) return GrantKey(argv[2]);
    if (argc == 4 && std::wcscmp(argv[1], L"folder") == 0) {
        return Report(folders.PrepareDataFolder(Arg(argv[2]), Arg(argv[3])));
    }
    if (argc >= 3 && std::wcscmp(argv[1], L"install") == 0) return Report(folders.PrepareInstallFolder(Arg(argv[2])));
    if (argc == 3 && std::wcscmp(argv[1], L"installed") == 0) {
        return Report(folders.SecureInstalledFolder(Arg(argv[2])));
    }
    if (argc >= 5 && std::wcscmp(argv[1], L"files") == 0) {
        std::vector<kx::Text> files;
        for (int i = 4; i < argc; ++i) files.push_back(Arg(argv[i]));
        return Report(folders.InstallFiles(Arg(argv[2]), Arg(argv[3]), files));
    }
    if (argc == 4 && std::wcscmp(argv[1], L"removelist") == 0) {
        return Report(folders.RemoveBlockList(Arg(argv[2]), Arg(argv[3])));
    }
    if (argc == 3 && std::wcscmp(argv[1], L"start") == 0) return StartThroughShell(argv[2]);
    if (argc == 2 && std::wcscmp(argv[1], L"stamp") == 0) return Stamp();
    if (argc == 2 && std::wcscmp(argv[1], L"close") == 0) return Close();
    std::fwprintf(stderr,
                  L"usage: kxacl key <subkey> | folder <base> <own> | install <folder> [<file>...] | "
                  L"installed <folder> | files <folder> <staging> <file>... | removelist <base> <own> | start <program> | stamp | close\n");
    return 2;
}
