// Libraries that are not KnownDLLs, taken from the system folder only.
//
// A DLL the import table names is looked for in the program's own folder
// before the system folder, unless Windows keeps it among its KnownDLLs; a
// planted winhttp.dll or psapi.dll beside the programs would be loaded before
// any search restriction of theirs ran. So the programs import only KnownDLLs
// (and comctl32 through their manifests), and everything else is bound at
// its first use from the system folder, kept for the life of the process as
// an imported library would be.
#pragma once

#include <windows.h>

namespace kx::win32 {

// LoadLibraryExW with LOAD_LIBRARY_SEARCH_SYSTEM32 where the system has it,
// otherwise the library's full path in the system folder (its own
// dependencies looked up from there). name is a bare file name.
HMODULE LoadFromSystemFolder(const wchar_t* name);

// The entry point name of library (a module handle, possibly null) as Fn.
template <typename Fn>
Fn SystemEntry(HMODULE library, const char* name) {
    return library == nullptr ? nullptr : reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

}  // namespace kx::win32
