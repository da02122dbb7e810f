#include "SetupSupport.h"

#include <aclapi.h>
#include <shlobj.h>

#include "WineTestSupport.h"

namespace kxtest {

std::wstring InstallFolder() {
    return KnownFolder(kIs64BitBuild ? FOLDERID_ProgramFiles : FOLDERID_ProgramFilesX86) + L"VELMOR\\Kestrix\\";
}

std::wstring DataFolder() { return ProgramDataFolder() + L"VELMOR\\Kestrix\\"; }

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<UsersEntry> KeyEntriesOfUsers() {
    std::vector<UsersEntry> entries;
    BYTE users[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof users;
    HKEY key = nullptr;
    if (!::CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &size) ||
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, READ_CONTROL | kProgramView, &key) != 0) {
        return entries;
    }
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                          &descriptor) == ERROR_SUCCESS) {
        for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
            void* ace = nullptr;
            if (!::GetAce(dacl, i, &ace)) continue;
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && ::EqualSid(&allowed->SidStart, users)) {
                entries.push_back({allowed->Mask, allowed->Header.AceFlags});
            }
        }
        ::LocalFree(descriptor);
    }
    ::RegCloseKey(key);
    return entries;
}

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

}  // namespace kxtest
