#pragma once
#include <set>

#include "sim/SimWorld.h"

namespace kx::sim {

class SimRegistry : public IRegistry {
public:
    explicit SimRegistry(SimWorld& world) : world_(world) {}
    long RegOpenKeyExW(KHandle root, const Text& subKey, std::uint32_t access, KHandle* result) override;
    long RegCreateKeyExW(KHandle root, const Text& subKey, std::uint32_t access, KHandle* result) override;
    long RegCreateVolatileKeyW(KHandle root, const Text& subKey, std::uint32_t access, KHandle* result) override;
    long RegQueryValueExW(KHandle key, const Text& valueName, std::uint32_t* type, std::uint8_t* data,
                          std::uint32_t* size) override;
    long RegSetValueExW(KHandle key, const Text& valueName, std::uint32_t type, const std::uint8_t* data,
                        std::uint32_t size) override;
    long RegCloseKey(KHandle key) override;
    long RegDeleteValueW(KHandle key, const Text& valueName) override;
    KHandle CreateNotifyEvent() override;
    long RegNotifyChangeKeyValue(KHandle key, std::uint32_t filter, KHandle event) override;
    bool NotifyEventSignalled(KHandle event) override;
    bool CloseNotifyEvent(KHandle event) override;

private:
    long Open(KHandle root, const Text& subKey, std::uint32_t access, KHandle* result, bool create,
             bool isVolatile = false);
    // Every key below path, by full path: a watch sees keys made or removed there.
    std::set<Text> KeysBelow(const Text& path) const;
    SimWorld& world_;
    std::vector<std::pair<Text, bool>> openKeys_;  // index = handle object: (path, writable)
};

}  // namespace kx::sim
