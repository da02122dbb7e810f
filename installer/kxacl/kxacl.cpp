// kxacl: the installer's helper for what NSIS cannot do by itself.
//
//   kxacl key <subkey>     grants the local Users group reading and writing of
//                          HKEY_LOCAL_MACHINE\<subkey> (32-bit view) and its subkeys,
//                          creating the key when it is missing
//   kxacl folder <path>    creates the folder (and its parents) and grants the
//                          local Users group modify rights on it and on
//                          everything that will be made inside it
//   kxacl stamp            writes UpdatedDate = now, in the seconds form (decimal
//                          local seconds since 1970), into the settings key
//
// The other rights of the key and folder stay as they are: the Users entry is
// added to the DACL that is there. Exit code 0 on success, 1 on failure, 2 for
// a command line it does not understand.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "companion/SettingsEditor.h"
#include "platform/win32/Win32Api.h"
#include "update/UpdateDates.h"

namespace {

// BUILTIN\Users, the group every ordinary account belongs to.
bool UsersSid(std::vector<BYTE>* sid) {
    DWORD size = SECURITY_MAX_SID_SIZE;
    sid->assign(size, 0);
    return CreateWellKnownSid(WinBuiltinUsersSid, nullptr, sid->data(), &size) != FALSE;
}

// The DACL old with one more entry that grants Users these rights.
PACL WithUsers(PACL old, DWORD rights, DWORD inheritance, std::vector<BYTE>* sid) {
    if (!UsersSid(sid)) return nullptr;
    EXPLICIT_ACCESSW access = {};
    access.grfAccessPermissions = rights;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = inheritance;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(sid->data());
    PACL updated = nullptr;
    if (SetEntriesInAclW(1, &access, old, &updated) != ERROR_SUCCESS) return nullptr;
    return updated;
}

// The registry view of the programs the installer carries: the helper is
// built with them, so its own bitness names their view.
constexpr REGSAM kProgramsView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

int GrantKey(const wchar_t* subKey) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    const REGSAM access = READ_CONTROL | WRITE_DAC | kProgramsView;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, access, nullptr, &key, &disposition) != ERROR_SUCCESS) {
        std::fwprintf(stderr, L"kxacl: cannot open HKLM\\%ls\n", subKey);
        return 1;
    }
    int result = 1;
    PSECURITY_DESCRIPTOR current = nullptr;
    PACL dacl = nullptr;
    if (GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &current) ==
        ERROR_SUCCESS) {
        std::vector<BYTE> sid;
        const DWORD rights = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | DELETE;
        if (PACL updated = WithUsers(dacl, rights, SUB_CONTAINERS_AND_OBJECTS_INHERIT, &sid)) {
            SECURITY_DESCRIPTOR descriptor;
            if (InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                SetSecurityDescriptorDacl(&descriptor, TRUE, updated, FALSE) &&
                RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS) {
                result = 0;
            }
            LocalFree(updated);
        }
        LocalFree(current);
    }
    RegCloseKey(key);
    if (result != 0) std::fwprintf(stderr, L"kxacl: cannot set the rights of HKLM\\%ls\n", subKey);
    return result;
}

bool MakeFolders(const std::wstring& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const auto slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 2 && !MakeFolders(path.substr(0, slash))) return false;
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

int GrantFolder(const wchar_t* folder) {
    std::wstring path = folder;
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    if (!MakeFolders(path)) {
        std::fwprintf(stderr, L"kxacl: cannot create %ls\n", path.c_str());
        return 1;
    }
    int result = 1;
    PSECURITY_DESCRIPTOR current = nullptr;
    PACL dacl = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &current) == ERROR_SUCCESS) {
        std::vector<BYTE> sid;
        const DWORD rights = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
        if (PACL updated = WithUsers(dacl, rights, SUB_CONTAINERS_AND_OBJECTS_INHERIT, &sid)) {
            if (SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, updated,
                                      nullptr) == ERROR_SUCCESS) {
                result = 0;
            }
            LocalFree(updated);
        }
        LocalFree(current);
    }
    if (result != 0) std::fwprintf(stderr, L"kxacl: cannot set the rights of %ls\n", path.c_str());
    return result;
}

int Stamp() {
    kx::Win32Api api;
    kx::SettingsEditor settings(api.registry, api.system);
    const std::int32_t now = kx::DateTimeToLocalSeconds(kx::CurrentMoment(api.clock));
    if (settings.WriteUpdatedDate(now) != kx::SettingWrite::Written) {
        std::fwprintf(stderr, L"kxacl: cannot write UpdatedDate\n");
        return 1;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"key") == 0) return GrantKey(argv[2]);
    if (argc == 3 && std::wcscmp(argv[1], L"folder") == 0) return GrantFolder(argv[2]);
    if (argc == 2 && std::wcscmp(argv[1], L"stamp") == 0) return Stamp();
    std::fwprintf(stderr, L"usage: kxacl key <subkey> | kxacl folder <path> | kxacl stamp\n");
    return 2;
}
