// The settings store: values of one registry key below HKEY_LOCAL_MACHINE,
// read afresh and written through at every call; no call ever fails.
#pragma once

#include <cstdint>

#include "platform/RegistryApi.h"
#include "platform/Types.h"

namespace kx {

// "\Software\VELMOR\Kestrix\" below HKEY_LOCAL_MACHINE; the platform takes it
// without its leading and trailing backslash.
extern const char16_t kSettingsKey[];

class SettingsStore {
public:
    explicit SettingsStore(IRegistry& registry) : registry_(registry) {}

    // Each opens the key, does one read or write, and closes it. wow64_64Key
    // adds KEY_WOW64_64KEY; the program always passes false.
    Text RegReadString(const Text& name, const Text& defaultValue, bool wow64_64Key = false) const;
    std::int32_t RegReadInteger(const Text& name, std::int32_t defaultValue, bool wow64_64Key = false) const;
    bool RegReadBool(const Text& name, bool defaultValue, bool wow64_64Key = false) const;
    void RegWriteString(const Text& name, const Text& value, bool wow64_64Key = false) const;
    void RegWriteBool(const Text& name, bool value, bool wow64_64Key = false) const;

private:
    IRegistry& registry_;
};

}  // namespace kx
