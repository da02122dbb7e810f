// What the tests of the installers (KestrixSetup.exe and Kestrix.msi) look at:
// the places they install to, the rights they give, and a window station no
// one sees, as a deployment tool running as SYSTEM has.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace kxtest {

// Where the installers put the programs: the 32-bit build into the 32-bit
// Program Files folder, an x86_64 build into the 64-bit one.
std::wstring InstallFolder();
// The all-users data folder of the block list.
std::wstring DataFolder();
bool Exists(const std::wstring& path);

// The allowing entries of the settings key's DACL for BUILTIN\Users.
struct UsersEntry {
    ACCESS_MASK mask;
    BYTE flags;
};
std::vector<UsersEntry> KeyEntriesOfUsers();

// Runs exe with arguments on a desktop of a new, invisible window station
// and returns its exit code; -1 when it could not be run or did not end.
int RunOnHiddenWindowStation(const std::wstring& exe, const std::wstring& arguments);

}  // namespace kxtest
