#include "config/Settings.h"

#include <vector>

namespace kx {

const char16_t kSettingsKey[] = u"Software\\VELMOR\\Kestrix";

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

// Opens the settings key for writing, creating it and any missing parent.
OwnedKey OpenForWrite(IRegistry& registry, bool wow64_64Key) {
    KHandle key = 0;
    if (registry.RegCreateKeyExW(w32::kHkeyLocalMachine, kSettingsKey, Access(w32::kKeyWrite, wow64_64Key), &key) !=
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
        *value = static_cast<std::int32_t>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                           (static_cast<std::uint32_t>(data[3]) << 24));
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

Text SettingsStore::RegReadString(const Text& name, const Text& defaultValue, bool wow64_64Key) const {
    try {
        OwnedKey key = OpenForRead(registry_, wow64_64Key);
        if (!key) return defaultValue;
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        if (registry_.RegQueryValueExW(key.get(), name, &type, nullptr, &size) != w32::kErrorSuccess) {
            return defaultValue;
        }
        // REG_EXPAND_SZ is text too; it is taken as stored.
        if (type != w32::kRegSz && type != 2) return defaultValue;
        std::vector<std::uint8_t> data(size + 2u, 0);
        std::uint32_t got = size;
        if (registry_.RegQueryValueExW(key.get(), name, &type, data.data(), &got) != w32::kErrorSuccess ||
            got > size) {
            return defaultValue;
        }
        Text text;
        text.reserve(got / 2u);
        for (std::uint32_t i = 0; i + 1u < got; i += 2u) {
            const auto c = static_cast<char16_t>(data[i] | (data[i + 1u] << 8));
            if (c == 0) break;  // the stored text ends at its terminating zero
            text.push_back(c);
        }
        return text.empty() ? defaultValue : text;
    } catch (...) {
        return defaultValue;
    }
}

std::int32_t SettingsStore::RegReadInteger(const Text& name, std::int32_t defaultValue, bool wow64_64Key) const {
    std::int32_t value = 0;
    return ReadDword(registry_, name, wow64_64Key, &value) ? value : defaultValue;
}

bool SettingsStore::RegReadBool(const Text& name, bool defaultValue, bool wow64_64Key) const {
    std::int32_t value = 0;
    return ReadDword(registry_, name, wow64_64Key, &value) ? value != 0 : defaultValue;
}

void SettingsStore::RegWriteString(const Text& name, const Text& value, bool wow64_64Key) const {
    try {
        OwnedKey key = OpenForWrite(registry_, wow64_64Key);
        if (!key) return;
        std::vector<std::uint8_t> data;
        data.reserve((value.size() + 1u) * 2u);
        for (char16_t c : value) {
            data.push_back(static_cast<std::uint8_t>(c & 0xFFu));
            data.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        data.push_back(0);
        data.push_back(0);
        registry_.RegSetValueExW(key.get(), name, w32::kRegSz, data.data(), static_cast<std::uint32_t>(data.size()));
    } catch (...) {
        // A write that cannot be made is dropped.
    }
}

void SettingsStore::RegWriteBool(const Text& name, bool value, bool wow64_64Key) const {
    try {
        OwnedKey key = OpenForWrite(registry_, wow64_64Key);
        if (!key) return;
        const std::uint8_t data[4] = {static_cast<std::uint8_t>(value ? 1 : 0), 0, 0, 0};
        registry_.RegSetValueExW(key.get(), name, w32::kRegDword, data, sizeof data);
    } catch (...) {
        // A write that cannot be made is dropped.
    }
}

}  // namespace kx
