#pragma once
#include "sim/SimWorld.h"

namespace kx::sim {

// Libraries are found by upper-cased name in SimWorld::libraries; an entry
// point is live only while its library is loaded.
class SimLibraries : public ILibraries {
public:
    explicit SimLibraries(SimWorld& world) : world_(world) {}
    KHandle LoadLibraryW(const Text& name) override;
    ProcAddress GetProcAddress(KHandle library, const char* procName) override;
    bool FreeLibrary(KHandle library) override;

    // True when entry was found in the named library and that library is still loaded.
    static bool IsLiveEntry(SimWorld& world, ProcAddress entry, const Text& library, const char* procName);

private:
    SimWorld& world_;
};

}  // namespace kx::sim
