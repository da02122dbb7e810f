#include "config/Settings.h"

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "config/InputLimits.h"
#include "config/TextRules.h"

namespace kx {

std::vector<std::uint8_t> RegSzData(const Text& text) {
    std::vector<std::uint8_t> data = Utf16LeBytes(text);
    data.push_back(0);
    data.push_back(0);
    return data;
}

Text RegSzText(const std::uint8_t* data, std::size_t size) { return Utf16LeText(data, size); }

std::array<std::uint8_t, 4> DwordData(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

std::uint32_t DwordFromData(const std::uint8_t* data) {
    return data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
}

namespace {

std::uint32_t Access(std::uint32_t base, bool wow64_64Key) {
    return wow64_64Key ? (base | w32::kKeyWow64_64Key) : base;
}

// Opens the settings key for reading; an empty owner when it is missing.
OwnedKey OpenForRead(IRegistry& registry, bool wow64_64Key) {
    KHandle key = 0;
    if (registry.RegOpenKeyExW(w32::kHkeyLocalMachine, kSettingsKey, Access(w32::kKeyRead, wow64_64Key), &key) !=
            w32::kErrorSuccess ||
        key == 0) {
        return OwnedKey{};
    }
    return OwnedKey{registry, key};
}

// One REG_DWORD read; false when the key or value is missing, the value is
// not an integer, or anything fails.
bool ReadDword(IRegistry& registry, const Text& name, bool wow64_64Key, std::int32_t* value) {
    try {
        OwnedKey key = OpenForRead(registry, wow64_64Key);
        if (!key) return false;
        std::uint32_t type = 0;
        std::uint8_t data[4] = {0, 0, 0, 0};
        std::uint32_t size = sizeof data;
        if (registry.RegQueryValueExW(key.get(), name, &type, data, &size) != w32::kErrorSuccess ||
            type != w32::kRegDword || size != sizeof data) {
            return false;
        }
        *value = static_cast<std::int32_t>(DwordFromData(data));
        return true;
    } catch (...) {
        return false;
    }
}

// A policy's REG_DWORD standing in for the settings value; none when no policy sets it.
std::optional<std::int32_t> PolicyInteger(const PolicyOverlay& policies, const Text& name) {
    try {
        if (!contract::IsPolicySetting(name.c_str())) return std::nullopt;
        return policies.ReadInteger(name);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace

Text SettingsStore::RegReadString(const Text& name, const Text& defaultValue, bool wow64_64Key) const {
    try {
        if (contract::IsPolicySetting(name.c_str())) {
            if (std::optional<Text> policy = policies_.ReadText(name)) return *policy;
        }
        OwnedKey key = OpenForRead(registry_, wow64_64Key);
        if (!key) return defaultValue;
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        if (registry_.RegQueryValueExW(key.get(), name, &type, nullptr, &size) != w32::kErrorSuccess) {
            return defaultValue;
        }
        // REG_EXPAND_SZ is text too; it is taken as stored.
        if (type != w32::kRegSz && type != 2) return defaultValue;
        // Any account may store any amount here; a text past the cap (with
        // its terminating zero) is not read at all.
        if (size > (kMaxSettingTextChars + 1u) * 2u) return defaultValue;
        std::vector<std::uint8_t> data(size + 2u, 0);
        std::uint32_t got = size;
        if (registry_.RegQueryValueExW(key.get(), name, &type, data.data(), &got) != w32::kErrorSuccess ||
            got > size) {
            return defaultValue;
        }
        const Text text = RegSzText(data.data(), got);
        return text.empty() ? defaultValue : text;
    } catch (...) {
        return defaultValue;
    }
}

std::int32_t SettingsStore::RegReadInteger(const Text& name, std::int32_t defaultValue, bool wow64_64Key) const {
    if (const std::optional<std::int32_t> policy = PolicyInteger(policies_, name)) return *policy;
    std::int32_t value = 0;
    return ReadDword(registry_, name, wow64_64Key, &value) ? value : defaultValue;
}

bool SettingsStore::RegReadBool(const Text& name, bool defaultValue, bool wow64_64Key) const {
    if (const std::optional<std::int32_t> policy = PolicyInteger(policies_, name)) return *policy != 0;
    std::int32_t value = 0;
    return ReadDword(registry_, name, wow64_64Key, &value) ? value != 0 : defaultValue;
}

// One value written, or a line on the debug output saying why not; true when
// the value was written.
bool SettingsStore::WriteValue(const Text& name, std::uint32_t type, const std::uint8_t* data, std::uint32_t size,
                               bool wow64_64Key) const {
    std::string why;
    try {
        KHandle raw = 0;
        const long opened = registry_.RegCreateKeyExW(w32::kHkeyLocalMachine, kSettingsKey,
                                                      Access(w32::kKeyWrite, wow64_64Key), &raw);
        OwnedKey key = opened == w32::kErrorSuccess && raw != 0 ? OwnedKey{registry_, raw} : OwnedKey{};
        if (!key) {
            why = "the key could not be opened for writing (error " + std::to_string(opened) + ")";
        } else {
            const long written = registry_.RegSetValueExW(key.get(), name, type, data, size);
            if (written == w32::kErrorSuccess) return true;
            why = "refused (error " + std::to_string(written) + ")";
        }
    } catch (const std::exception& failure) {
        why = failure.what();
    } catch (...) {
        why = "an unknown failure";
    }
    if (trace_ != nullptr) trace_->Line("settings.write", std::string(name.begin(), name.end()) + ": " + why);
    return false;
}

bool SettingsStore::RegWriteString(const Text& name, const Text& value, bool wow64_64Key) const {
    try {
        const std::vector<std::uint8_t> data = RegSzData(value);
        return WriteValue(name, w32::kRegSz, data.data(), static_cast<std::uint32_t>(data.size()), wow64_64Key);
    } catch (...) {
        return false;  // no memory for the value's bytes: the write is dropped
    }
}

bool SettingsStore::RegWriteBool(const Text& name, bool value, bool wow64_64Key) const {
    const auto data = DwordData(value ? 1u : 0u);
    return WriteValue(name, w32::kRegDword, data.data(), static_cast<std::uint32_t>(data.size()), wow64_64Key);
}

}  // namespace kx
