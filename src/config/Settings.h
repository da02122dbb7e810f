// The settings store: values of one registry key below HKEY_LOCAL_MACHINE,
// written through at every call and read afresh, or, once the caller looks
// for changes once a tick (Refresh), read again only after the key changed;
// no call ever fails.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "config/Contract.h"
#include "config/Policies.h"
#include "config/WatchedKey.h"
#include "platform/DebugApi.h"
#include "platform/RegistryApi.h"
#include "platform/Types.h"

namespace kx {

// "\Software\VELMOR\Kestrix\" below HKEY_LOCAL_MACHINE; the platform takes it
// without its leading and trailing backslash.
using contract::kSettingsKey;

// The bytes of registry values as the store reads and writes them.
// REG_SZ: the text and its terminating zero, UTF-16 LE.
std::vector<std::uint8_t> RegSzData(const Text& text);
// A REG_SZ value's text, up to its terminating zero.
Text RegSzText(const std::uint8_t* data, std::size_t size);
// REG_DWORD: four bytes, low byte first.
std::array<std::uint8_t, 4> DwordData(std::uint32_t value);
std::uint32_t DwordFromData(const std::uint8_t* data);

class SettingsStore {
public:
    // trace: where a refused write leaves its line; none without it.
    explicit SettingsStore(IRegistry& registry, DebugTrace* trace = nullptr)
        : registry_(registry), trace_(trace), key_(registry, w32::kHkeyLocalMachine, kSettingsKey, w32::kKeyRead, trace), policies_(registry, trace) {}

    // Looks whether the key changed since the last look (once a tick, by
    // the main cycle). From the first call on, the key stays open and a
    // value is read again only after Windows signalled a change of the key,
    // or after this store wrote it; a key that is missing or cannot be
    // watched is read afresh at every read, as without this call.
    void Refresh() {
        key_.Refresh();
        policies_.Refresh();
    }

    // Each opens the key, does one read or write, and closes it. wow64_64Key
    // adds KEY_WOW64_64KEY; the program always passes false. A text value
    // longer than kMaxSettingTextChars reads as missing. A write reports
    // whether it took effect; callers that need not know ignore it.
    // A read of a value a policy may set asks the policies first: a policy
    // value of the setting's type wins (config/Policies.h).
    Text RegReadString(const Text& name, const Text& defaultValue, bool wow64_64Key = false) const;
    std::int32_t RegReadInteger(const Text& name, std::int32_t defaultValue, bool wow64_64Key = false) const;
    bool RegReadBool(const Text& name, bool defaultValue, bool wow64_64Key = false) const;
    bool RegWriteString(const Text& name, const Text& value, bool wow64_64Key = false) const;
    bool RegWriteBool(const Text& name, bool value, bool wow64_64Key = false) const;

    // The organisation's policies, consulted before the settings key.
    const PolicyOverlay& Policies() const { return policies_; }

private:
    KeyValue ReadValue(const Text& name, std::uint32_t maxBytes, bool wow64_64Key) const;
    bool WriteValue(const Text& name, std::uint32_t type, const std::uint8_t* data, std::uint32_t size,
                    bool wow64_64Key) const;

    IRegistry& registry_;
    DebugTrace* trace_ = nullptr;
    mutable WatchedKey key_;  // the 32-bit view's key, which every caller reads
    PolicyOverlay policies_;
};

}  // namespace kx
