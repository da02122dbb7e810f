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

KeyValue SettingsStore::ReadValue(const Text& name, std::uint32_t maxBytes, bool wow64_64Key) const {
    if (!wow64_64Key) return key_.Read(name, maxBytes);
    WatchedKey other(registry_, w32::kHkeyLocalMachine, kSettingsKey, Access(w32::kKeyRead, true));
    return other.Read(name, maxBytes);  // never watched: read afresh
}

Text SettingsStore::RegReadString(const Text& name, const Text& defaultValue, bool wow64_64Key) const {
    try {
        if (contract::IsPolicySetting(name.c_str())) {
            if (std::optional<Text> policy = policies_.ReadText(name)) return *policy;
        }
        // Any account may store any amount here; a text past the cap (with
        // its terminating zero) is not read at all.
        const KeyValue value =
            ReadValue(name, static_cast<std::uint32_t>((kMaxSettingTextChars + 1u) * 2u), wow64_64Key);
        // REG_EXPAND_SZ is text too; it is taken as stored.
        if (value.status != w32::kErrorSuccess || value.tooLarge ||
            (value.type != w32::kRegSz && value.type != 2)) {
            return defaultValue;
        }
        const Text text = RegSzText(value.data.data(), value.data.size());
        return text.empty() ? defaultValue : text;
    } catch (...) {
        return defaultValue;
    }
}

std::int32_t SettingsStore::RegReadInteger(const Text& name, std::int32_t defaultValue, bool wow64_64Key) const {
    if (const std::optional<std::int32_t> policy = PolicyInteger(policies_, name)) return *policy;
    const std::optional<std::uint32_t> value = DwordValue(ReadValue(name, 4, wow64_64Key));
    return value ? static_cast<std::int32_t>(*value) : defaultValue;
}

bool SettingsStore::RegReadBool(const Text& name, bool defaultValue, bool wow64_64Key) const {
    if (const std::optional<std::int32_t> policy = PolicyInteger(policies_, name)) return *policy != 0;
    const std::optional<std::uint32_t> value = DwordValue(ReadValue(name, 4, wow64_64Key));
    return value ? *value != 0 : defaultValue;
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
            if (written == w32::kErrorSuccess) {
                if (!wow64_64Key) key_.Forget(name);  // the next read sees what was written
                return true;
            }
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
