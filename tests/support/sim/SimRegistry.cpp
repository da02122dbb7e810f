#include "sim/SimRegistry.h"

#include <cstring>

namespace kx::sim {

namespace {
Text RootName(KHandle root) {
    if (root == w32::kHkeyLocalMachine) return u"HKLM";
    if (root == w32::kHkeyCurrentUser) return u"HKCU";
    return {};
}
}  // namespace

long SimRegistry::Open(KHandle root, const Text& subKey, std::uint32_t access, KHandle* result, bool create,
                       bool isVolatile) {
    if (result == nullptr) return w32::kErrorInvalidParameter;
    *result = 0;
    const Text rootName = RootName(root);
    if (rootName.empty()) return w32::kErrorInvalidParameter;
    // Windows refuses a sub-key path that begins with a backslash.
    if (!subKey.empty() && subKey.front() == u'\\') return 161;  // ERROR_BAD_PATHNAME
    Text path = Upper(subKey);
    while (!path.empty() && path.back() == u'\\') path.pop_back();
    const Text full = path.empty() ? rootName : rootName + u"\\" + path;
    world_.keyOpens.emplace_back(full, access);
    const bool wantsWrite = (access & w32::kKeyWrite & ~w32::kKeyRead) != 0;
    auto it = world_.keys.find(full);
    if (it == world_.keys.end() && !create) {
        // A root, and a key above one the test made, exist as Windows has them.
        const Text below = full + u"\\";
        const auto after = world_.keys.lower_bound(below);
        const bool above = after != world_.keys.end() && after->first.compare(0, below.size(), below) == 0;
        if (!path.empty() && !above) return w32::kErrorFileNotFound;
        it = world_.keys.emplace(full, RegKey{}).first;
    }
    if (it == world_.keys.end()) {
        // A key is created below a parent that refuses writes only if the parent allows it.
        Text parent = full;
        while (true) {
            auto slash = parent.rfind(u'\\');
            if (slash == Text::npos) break;
            parent.resize(slash);
            auto p = world_.keys.find(parent);
            if (p != world_.keys.end()) {
                if (p->second.denyWrite) return w32::kErrorAccessDenied;
                break;
            }
        }
        RegKey made;
        made.isVolatile = isVolatile;
        it = world_.keys.emplace(full, made).first;
    }
    if (wantsWrite && it->second.denyWrite) return w32::kErrorAccessDenied;
    openKeys_.emplace_back(full, wantsWrite);
    *result = world_.handles.Open(HandleKind::Key, openKeys_.size() - 1);
    return w32::kErrorSuccess;
}

long SimRegistry::RegOpenKeyExW(KHandle root, const Text& subKey, std::uint32_t access, KHandle* result) {
    return Open(root, subKey, access, result, false);
}

long SimRegistry::RegCreateKeyExW(KHandle root, const Text& subKey, std::uint32_t access, KHandle* result) {
    return Open(root, subKey, access, result, true);
}

long SimRegistry::RegCreateVolatileKeyW(KHandle root, const Text& subKey, std::uint32_t access, KHandle* result) {
    return Open(root, subKey, access, result, true, true);
}

long SimRegistry::RegQueryValueExW(KHandle key, const Text& valueName, std::uint32_t* type, std::uint8_t* data,
                                   std::uint32_t* size) {
    if (key == w32::kHkeyPerformanceData) {
        if (world_.performanceStatus != w32::kErrorSuccess) return world_.performanceStatus;
        if (size == nullptr) return w32::kErrorInvalidParameter;
        world_.performanceQuerySizes.push_back(*size);
        if (valueName != u"238") return w32::kErrorFileNotFound;
        const auto needed = static_cast<std::uint32_t>(world_.performanceData.size());
        if (type != nullptr) *type = w32::kRegBinary;
        if (data == nullptr || *size < needed) {
            // The performance key answers "more data" without telling the size.
            return w32::kErrorMoreData;
        }
        if (needed != 0) std::memcpy(data, world_.performanceData.data(), needed);  // an empty block has no data()
        *size = needed;
        return w32::kErrorSuccess;
    }
    const auto* entry = world_.handles.Find(key, HandleKind::Key);
    if (entry == nullptr) return 6;  // ERROR_INVALID_HANDLE
    ++world_.valueQueries;
    const Text& path = openKeys_[entry->object].first;
    auto k = world_.keys.find(path);
    if (k == world_.keys.end()) return w32::kErrorFileNotFound;
    auto v = k->second.values.find(Upper(valueName));
    if (v == k->second.values.end()) return w32::kErrorFileNotFound;
    const RegValue& value = v->second.second;
    if (type != nullptr) *type = value.type;
    if (size == nullptr) return data == nullptr ? w32::kErrorSuccess : w32::kErrorInvalidParameter;
    const auto needed = static_cast<std::uint32_t>(value.data.size());
    if (data == nullptr) {
        *size = needed;
        return w32::kErrorSuccess;
    }
    if (*size < needed) {
        *size = needed;
        return w32::kErrorMoreData;
    }
    if (needed != 0) std::memcpy(data, value.data.data(), needed);
    *size = needed;
    return w32::kErrorSuccess;
}

long SimRegistry::RegSetValueExW(KHandle key, const Text& valueName, std::uint32_t type, const std::uint8_t* data,
                                 std::uint32_t size) {
    const auto* entry = world_.handles.Find(key, HandleKind::Key);
    if (entry == nullptr) return 6;
    const auto& [path, writable] = openKeys_[entry->object];
    if (!writable) return w32::kErrorAccessDenied;
    RegValue value;
    value.type = type;
    if (size != 0 && data != nullptr) value.data.assign(data, data + size);
    world_.keys[path].values[Upper(valueName)] = {valueName, value};
    return w32::kErrorSuccess;
}

long SimRegistry::RegDeleteValueW(KHandle key, const Text& valueName) {
    const auto* entry = world_.handles.Find(key, HandleKind::Key);
    if (entry == nullptr) return 6;
    const auto& [path, writable] = openKeys_[entry->object];
    if (!writable) return w32::kErrorAccessDenied;
    return world_.keys[path].values.erase(Upper(valueName)) != 0 ? w32::kErrorSuccess : w32::kErrorFileNotFound;
}

long SimRegistry::RegCloseKey(KHandle key) {
    if (key == w32::kHkeyPerformanceData) return w32::kErrorSuccess;
    return world_.handles.Close(key, HandleKind::Key) ? w32::kErrorSuccess : 6;
}

std::set<Text> SimRegistry::KeysBelow(const Text& path) const {
    std::set<Text> below;
    const Text prefix = path + u"\\";
    for (auto k = world_.keys.lower_bound(prefix);
         k != world_.keys.end() && k->first.compare(0, prefix.size(), prefix) == 0; ++k) {
        below.insert(k->first);
    }
    return below;
}

KHandle SimRegistry::CreateNotifyEvent() {
    const KHandle event = world_.handles.Open(HandleKind::Event, 0);
    world_.keyWatches[event] = SimWorld::KeyWatch{};
    return event;
}

long SimRegistry::RegNotifyChangeKeyValue(KHandle key, std::uint32_t /*filter*/, KHandle event) {
    const auto* entry = world_.handles.Find(key, HandleKind::Key);
    if (entry == nullptr || world_.handles.Find(event, HandleKind::Event) == nullptr) return 6;
    const Text& path = openKeys_[entry->object].first;
    if (world_.unwatchableKeys.count(path) != 0) return w32::kErrorAccessDenied;
    auto k = world_.keys.find(path);
    if (k == world_.keys.end()) return 1018;  // ERROR_KEY_DELETED
    SimWorld::KeyWatch& watch = world_.keyWatches[event];
    watch.path = path;
    watch.armed = true;
    watch.existed = true;
    watch.values = k->second.values;
    watch.below = KeysBelow(path);
    return w32::kErrorSuccess;
}

bool SimRegistry::NotifyEventSignalled(KHandle event) {
    auto w = world_.keyWatches.find(event);
    if (w == world_.keyWatches.end() || !w->second.armed) return false;
    auto k = world_.keys.find(w->second.path);
    const bool changed = k == world_.keys.end() ? w->second.existed
                                                : k->second.values != w->second.values ||
                                                      KeysBelow(w->second.path) != w->second.below;
    // An auto-reset event: one change signals once, and the watch is spent.
    if (changed) w->second.armed = false;
    return changed;
}

bool SimRegistry::CloseNotifyEvent(KHandle event) {
    world_.keyWatches.erase(event);
    return world_.handles.Close(event, HandleKind::Event);
}

}  // namespace kx::sim
