// Dynamic library loading from the system folder only.
//
// The program looks its optional entry points up by library name at every
// use and frees the library afterwards. So that this costs a reference-count
// bump rather than a real load and unload each time, the first look-up of a
// name loads the library once more and holds that reference (the pin) for
// the lifetime of this object. Used from the UI thread only.
#pragma once

#include <map>

#include "platform/LibraryApi.h"

namespace kx {

class Win32Libraries : public ILibraries {
public:
    Win32Libraries() = default;
    ~Win32Libraries() override;
    Win32Libraries(const Win32Libraries&) = delete;
    Win32Libraries& operator=(const Win32Libraries&) = delete;

    // A bare file name ("Psapi.dll"); a name with a folder or drive in it is refused (0).
    KHandle LoadLibraryW(const Text& name) override;
    ProcAddress GetProcAddress(KHandle library, const char* procName) override;
    bool FreeLibrary(KHandle library) override;

    // How many libraries are pinned; for the tests.
    std::size_t PinnedCount() const { return pinned_.size(); }

private:
    std::map<Text, KHandle> pinned_;  // by ASCII-upper-cased name
};

}  // namespace kx
