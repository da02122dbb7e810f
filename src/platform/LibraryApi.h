// Dynamic library loading. Every library is loaded from the system folder
// only, never from the program's folder or the current folder, so that a
// program started at every logon cannot be made to load a planted DLL.
#pragma once

#include "platform/Owned.h"
#include "platform/Types.h"

namespace kx {

class ILibraries {
public:
    virtual ~ILibraries() = default;
    // LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) on Windows.
    virtual KHandle LoadLibraryW(const Text& name) = 0;
    virtual ProcAddress GetProcAddress(KHandle library, const char* procName) = 0;
    virtual bool FreeLibrary(KHandle library) = 0;
};

inline void FreeLib(ILibraries& api, KHandle library) { api.FreeLibrary(library); }
using OwnedLibrary = Owned<ILibraries, FreeLib>;

}  // namespace kx
