#include "sim/SimLibraries.h"

namespace kx::sim {

// Entry points are encoded as (library handle << 8) | (entry index + 1), so an
// entry stays tied to the load it came from.

KHandle SimLibraries::LoadLibraryW(const Text& name) {
    world_.libraryLoads.push_back(name);
    const Text upper = Upper(name);
    if (world_.libraries.find(upper) == world_.libraries.end()) return 0;
    KHandle handle = world_.handles.Open(HandleKind::Library, 0);
    world_.loadedLibraries[handle] = upper;
    return handle;
}

ProcAddress SimLibraries::GetProcAddress(KHandle library, const char* procName) {
    if (world_.handles.Find(library, HandleKind::Library) == nullptr || procName == nullptr) return 0;
    const Text& name = world_.loadedLibraries[library];
    auto lib = world_.libraries.find(name);
    if (lib == world_.libraries.end() || lib->second.entries.count(procName) == 0) return 0;
    auto& names = world_.libraryEntries;
    std::size_t index = 0;
    for (; index < names.size(); ++index) {
        if (names[index].first == name && names[index].second == procName) break;
    }
    if (index == names.size()) names.emplace_back(name, procName);
    return (library << 8) | (index + 1);
}

bool SimLibraries::FreeLibrary(KHandle library) {
    world_.loadedLibraries.erase(library);
    return world_.handles.Close(library, HandleKind::Library);
}

bool SimLibraries::IsLiveEntry(SimWorld& world, ProcAddress entry, const Text& library, const char* procName) {
    if (entry == 0) return false;
    const KHandle handle = entry >> 8;
    const std::size_t index = static_cast<std::size_t>(entry & 0xFF) - 1;
    if (world.handles.Find(handle, HandleKind::Library) == nullptr) return false;
    const auto& names = world.libraryEntries;
    return index < names.size() && names[index].first == library && names[index].second == procName;
}

}  // namespace kx::sim
