#include "companion/SettingsEditor.h"

#include <string>
#include <vector>

#include "config/Settings.h"
#include "config/TextRules.h"
#include "config/WindowsVersion.h"
#include "display/ColorText.h"

namespace kx {

const std::array<const char16_t*, 5> kLanguageNames = {u"english", u"french", u"korean", u"prtbrzl", u"russian"};
const char16_t kRunKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char16_t kRunValueName[] = u"KestrixTray";
const char16_t kUninstallKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrix";

namespace {

bool IsSwitchName(const Text& name) {
    return name == u"ProcessorIdeal" || name == u"LoadTrayIcon" || name == u"LoadKestrix" || name == u"ReloadList" ||
           name == u"InstantBoost" || name == u"RestoreOnExit";
}

bool IsColorName(const Text& name) {
    return name == u"BackgroundColor" || name == u"GridColor" || name == u"BarColor";
}

SettingWrite FromStatus(long status) { return status == w32::kErrorSuccess ? SettingWrite::Written : SettingWrite::Refused; }

}  // namespace

bool SettingsEditor::ReadValue(const Text& keyPath, const Text& name, std::uint32_t* type,
                               std::vector<std::uint8_t>* data) const {
    KHandle raw = 0;
    if (registry_.RegOpenKeyExW(w32::kHkeyLocalMachine, keyPath, w32::kKeyRead, &raw) != w32::kErrorSuccess) {
        return false;
    }
    OwnedKey key(registry_, raw);
    std::uint32_t size = 0;
    if (registry_.RegQueryValueExW(key.get(), name, type, nullptr, &size) != w32::kErrorSuccess) return false;
    data->assign(size, 0);
    if (size == 0) return true;
    if (registry_.RegQueryValueExW(key.get(), name, type, data->data(), &size) != w32::kErrorSuccess) return false;
    data->resize(size);
    return true;
}

Text SettingsEditor::ReadText(const Text& name, const Text& defaultValue) const {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!ReadValue(kSettingsKey, name, &type, &data) || type != w32::kRegSz) return defaultValue;
    Text text = RegSzText(data.data(), data.size());
    return text.empty() ? defaultValue : text;
}

std::int32_t SettingsEditor::ReadInteger(const Text& name, std::int32_t defaultValue) const {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!ReadValue(kSettingsKey, name, &type, &data) || type != w32::kRegDword || data.size() != 4) {
        return defaultValue;
    }
    return static_cast<std::int32_t>(DwordFromData(data.data()));
}

SettingsSnapshot SettingsEditor::Read() const {
    SettingsSnapshot s;
    try {
        // The same defaults KestrixTray uses: modern colours from Windows 7 on.
        const bool classic = GetWindowsVersionIndex(system_) < 5;
        s.processorPriority = ReadInteger(u"ProcessorPriority", 2);
        s.processorIdeal = ReadInteger(u"ProcessorIdeal", 1) != 0;
        s.loadTrayIcon = ReadInteger(u"LoadTrayIcon", 1) != 0;
        s.loadKestrix = ReadInteger(u"LoadKestrix", 1) != 0;
        s.instantBoost = ReadInteger(u"InstantBoost", 0) != 0;
        s.restoreOnExit = ReadInteger(u"RestoreOnExit", 0) != 0;
        s.backgroundColor = ReadText(u"BackgroundColor", classic ? u"clBlue" : u"clWhite");
        s.gridColor = ReadText(u"GridColor", classic ? u"clTeal" : u"clGray");
        s.barColor = ReadText(u"BarColor", classic ? u"clWhite" : u"$00FF8000");
        s.language = AsciiLower(ReadText(u"Language", u"english"));
        s.handle = ReadText(u"Handle", u"0");
    } catch (...) {
    }
    return s;
}

long SettingsEditor::WriteValue(const Text& keyPath, const Text& name, std::uint32_t type, const std::uint8_t* data,
                                std::uint32_t size) {
    KHandle raw = 0;
    const long opened = registry_.RegCreateKeyExW(w32::kHkeyLocalMachine, keyPath, w32::kKeyWrite, &raw);
    if (opened != w32::kErrorSuccess) return opened;
    OwnedKey key(registry_, raw);
    return registry_.RegSetValueExW(key.get(), name, type, data, size);
}

SettingWrite SettingsEditor::WritePriority(std::int32_t level) {
    if (!IsValidPriority(level)) return SettingWrite::Invalid;
    const auto data = DwordData(static_cast<std::uint32_t>(level));
    return FromStatus(WriteValue(kSettingsKey, u"ProcessorPriority", w32::kRegDword, data.data(), 4));
}

SettingWrite SettingsEditor::WriteSwitch(const Text& name, bool value) {
    if (!IsSwitchName(name)) return SettingWrite::Invalid;
    const auto data = DwordData(value ? 1u : 0u);
    return FromStatus(WriteValue(kSettingsKey, name, w32::kRegDword, data.data(), 4));
}

SettingWrite SettingsEditor::WriteColor(const Text& name, const Text& colorText) {
    if (!IsColorName(name) || !ParseColorText(colorText).has_value()) return SettingWrite::Invalid;
    const auto data = RegSzData(colorText);
    return FromStatus(WriteValue(kSettingsKey, name, w32::kRegSz, data.data(), static_cast<std::uint32_t>(data.size())));
}

SettingWrite SettingsEditor::WriteLanguage(const Text& language) {
    const Text lower = AsciiLower(language);
    for (const char16_t* name : kLanguageNames) {
        if (lower == name) {
            const auto data = RegSzData(lower);
            return FromStatus(
                WriteValue(kSettingsKey, u"Language", w32::kRegSz, data.data(), static_cast<std::uint32_t>(data.size())));
        }
    }
    return SettingWrite::Invalid;
}

SettingWrite SettingsEditor::WriteUpdatedDate(std::int32_t localSeconds) {
    const auto data = RegSzData(AsciiToText(std::to_string(localSeconds).c_str()));
    return FromStatus(
        WriteValue(kSettingsKey, u"UpdatedDate", w32::kRegSz, data.data(), static_cast<std::uint32_t>(data.size())));
}

SettingWrite SettingsEditor::ProbeWrite() {
    // Writing Handle's own text back changes nothing KestrixTray sees.
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (ReadValue(kSettingsKey, u"Handle", &type, &data) && type == w32::kRegSz) {
        return FromStatus(
            WriteValue(kSettingsKey, u"Handle", w32::kRegSz, data.data(), static_cast<std::uint32_t>(data.size())));
    }
    const auto zero = RegSzData(u"0");
    return FromStatus(WriteValue(kSettingsKey, u"Handle", w32::kRegSz, zero.data(), static_cast<std::uint32_t>(zero.size())));
}

bool SettingsEditor::StartsWithWindows() const {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!ReadValue(kRunKey, kRunValueName, &type, &data) || type != w32::kRegSz) return false;
    return !RegSzText(data.data(), data.size()).empty();
}

Text SettingsEditor::InstalledFolder() const {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!ReadValue(kUninstallKey, u"InstallLocation", &type, &data) || type != w32::kRegSz) return Text();
    Text folder = Trim(RegSzText(data.data(), data.size()));
    const bool drive = folder.size() >= 3 && ((folder[0] | 0x20) >= u'a' && (folder[0] | 0x20) <= u'z') &&
                       folder[1] == u':' && folder[2] == u'\\';
    const bool share = folder.size() > 2 && folder[0] == u'\\' && folder[1] == u'\\';
    if (!drive && !share) return Text();
    // The folder goes into a quoted command line: no quote, no control character.
    for (char16_t c : folder) {
        if (c == u'"' || c < 32) return Text();
    }
    if (folder.back() != u'\\') folder.push_back(u'\\');
    return folder;
}

SettingWrite SettingsEditor::SetStartWithWindows(bool start) {
    const Text programFolder = start ? InstalledFolder() : Text();
    if (start && programFolder.empty()) return SettingWrite::Invalid;
    KHandle raw = 0;
    const long opened = registry_.RegCreateKeyExW(w32::kHkeyLocalMachine, kRunKey, w32::kKeyWrite, &raw);
    if (opened != w32::kErrorSuccess) return SettingWrite::Refused;
    OwnedKey key(registry_, raw);
    if (!start) {
        const long deleted = registry_.RegDeleteValueW(key.get(), kRunValueName);
        return deleted == w32::kErrorSuccess || deleted == w32::kErrorFileNotFound ? SettingWrite::Written
                                                                                    : SettingWrite::Refused;
    }
    const auto data = RegSzData(u"\"" + programFolder + u"KestrixTray.exe\" /start");
    return FromStatus(registry_.RegSetValueExW(key.get(), kRunValueName, w32::kRegSz, data.data(),
                                               static_cast<std::uint32_t>(data.size())));
}

Text SettingsEditor::ColorRefToText(std::uint32_t colorRef) {
    static const char16_t kHex[] = u"0123456789ABCDEF";
    Text text = u"$00";
    const std::uint32_t bgr = colorRef & 0x00FFFFFFu;
    for (int shift = 20; shift >= 0; shift -= 4) text.push_back(kHex[(bgr >> shift) & 0xF]);
    return text;
}

}  // namespace kx
