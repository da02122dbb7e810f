#include "companion/SettingsEditor.h"

#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "config/Contract.h"
#include "config/Policies.h"
#include "config/Settings.h"
#include "config/TextRules.h"
#include "config/WindowsVersion.h"
#include "display/ColorText.h"

namespace kx {

namespace {
constexpr std::size_t kLanguageCount = std::size(contract::kLanguages);
static_assert(kLanguageCount == 5, "the settings window lists five languages");
}  // namespace

const std::array<const char16_t*, 5> kLanguageNames = {contract::kLanguages[0].value, contract::kLanguages[1].value,
                                                       contract::kLanguages[2].value, contract::kLanguages[3].value,
                                                       contract::kLanguages[4].value};

namespace {

// The contract's type of a value; switches and colours are told apart by it.
bool HasType(const Text& name, SettingType type) {
    const SettingDefinition* setting = contract::FindSetting(name.c_str());
    return setting != nullptr && setting->type == type;
}

bool IsSwitchName(const Text& name) { return HasType(name, SettingType::Bool); }

bool IsColorName(const Text& name) { return HasType(name, SettingType::Color); }

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

namespace {

std::int32_t IntegerDefault(const char16_t* name) {
    const SettingDefinition* setting = contract::FindSetting(name);
    return setting != nullptr ? setting->integerDefault : 0;
}

const char16_t* TextDefault(const char16_t* name) {
    const SettingDefinition* setting = contract::FindSetting(name);
    return setting != nullptr ? setting->textDefault : u"";
}

}  // namespace

SettingsSnapshot SettingsEditor::Read() const {
    SettingsSnapshot s;
    try {
        // KestrixTray's own store: its value types, its defaults, its text rules.
        const SettingsStore store(registry_);
        const bool modern = GetWindowsVersionIndex(system_) >= 5;
        using namespace contract;
        s.processorPriority = store.RegReadInteger(kProcessorPriority, IntegerDefault(kProcessorPriority));
        s.processorIdeal = store.RegReadBool(kProcessorIdeal, IntegerDefault(kProcessorIdeal) != 0);
        s.loadTrayIcon = store.RegReadBool(kLoadTrayIcon, IntegerDefault(kLoadTrayIcon) != 0);
        s.loadKestrix = store.RegReadBool(kLoadKestrix, IntegerDefault(kLoadKestrix) != 0);
        s.instantBoost = store.RegReadBool(kInstantBoost, IntegerDefault(kInstantBoost) != 0);
        s.restoreOnExit = store.RegReadBool(kRestoreOnExit, IntegerDefault(kRestoreOnExit) != 0);
        s.corePlacement = store.RegReadBool(kCorePlacement, IntegerDefault(kCorePlacement) != 0);
        s.showStatus = store.RegReadBool(kShowStatus, IntegerDefault(kShowStatus) != 0);
        s.busiestCore = store.RegReadBool(kBusiestCore, IntegerDefault(kBusiestCore) != 0);
        s.followTheme = store.RegReadBool(kFollowTheme, IntegerDefault(kFollowTheme) != 0);
        s.backgroundColor = store.RegReadString(kBackgroundColor, ColorDefault(kBackgroundColor, modern));
        s.gridColor = store.RegReadString(kGridColor, ColorDefault(kGridColor, modern));
        s.barColor = store.RegReadString(kBarColor, ColorDefault(kBarColor, modern));
        s.busiestColor = store.RegReadString(kBusiestColor, ColorDefault(kBusiestColor, modern));
        s.languageText = store.RegReadString(kLanguage, TextDefault(kLanguage));
        s.language = AsciiLower(s.languageText);
        s.handle = store.RegReadString(kHandle, TextDefault(kHandle));
    } catch (...) {
    }
    return s;
}

Text SettingsEditor::ReadUpdatedDate() const {
    return SettingsStore(registry_).RegReadString(contract::kUpdatedDate, Text());
}

bool SettingsEditor::SetByPolicy(const Text& name) const {
    try {
        return PolicyOverlay(registry_).IsSet(name);
    } catch (...) {
        return false;
    }
}

bool SettingsEditor::IsKnownLanguage(const Text& language) {
    const Text lower = AsciiLower(language);
    for (const char16_t* name : kLanguageNames) {
        if (lower == name) return true;
    }
    return false;
}

SaveReport SettingsEditor::SaveChanges(const SettingsSnapshot& loaded, const SettingsSnapshot& edited) {
    SaveReport report;
    auto note = [&report](const Text& name, SettingWrite result) {
        switch (result) {
            case SettingWrite::Written: report.written.push_back(name); break;
            case SettingWrite::Invalid: report.invalid.push_back(name); break;
            case SettingWrite::Refused: report.refused.push_back(name); break;
        }
    };
    using namespace contract;
    // A value the organisation sets is the policy's: the user's own is left as it is.
    if (edited.processorPriority != loaded.processorPriority && !SetByPolicy(kProcessorPriority)) {
        note(kProcessorPriority, WritePriority(edited.processorPriority));
    }
    // Each field the user changed, written by its value's writer.
    auto saveChanged = [&](const char16_t* name, auto SettingsSnapshot::*field, auto write) {
        if (edited.*field != loaded.*field && !SetByPolicy(name)) note(name, (this->*write)(name, edited.*field));
    };
    saveChanged(kProcessorIdeal, &SettingsSnapshot::processorIdeal, &SettingsEditor::WriteSwitch);
    saveChanged(kLoadTrayIcon, &SettingsSnapshot::loadTrayIcon, &SettingsEditor::WriteSwitch);
    saveChanged(kLoadKestrix, &SettingsSnapshot::loadKestrix, &SettingsEditor::WriteSwitch);
    saveChanged(kInstantBoost, &SettingsSnapshot::instantBoost, &SettingsEditor::WriteSwitch);
    saveChanged(kRestoreOnExit, &SettingsSnapshot::restoreOnExit, &SettingsEditor::WriteSwitch);
    saveChanged(kCorePlacement, &SettingsSnapshot::corePlacement, &SettingsEditor::WriteSwitch);
    saveChanged(kShowStatus, &SettingsSnapshot::showStatus, &SettingsEditor::WriteSwitch);
    saveChanged(kBusiestCore, &SettingsSnapshot::busiestCore, &SettingsEditor::WriteSwitch);
    saveChanged(kFollowTheme, &SettingsSnapshot::followTheme, &SettingsEditor::WriteSwitch);
    saveChanged(kBackgroundColor, &SettingsSnapshot::backgroundColor, &SettingsEditor::WriteColor);
    saveChanged(kGridColor, &SettingsSnapshot::gridColor, &SettingsEditor::WriteColor);
    saveChanged(kBarColor, &SettingsSnapshot::barColor, &SettingsEditor::WriteColor);
    saveChanged(kBusiestColor, &SettingsSnapshot::busiestColor, &SettingsEditor::WriteColor);
    if (AsciiLower(edited.languageText) != AsciiLower(loaded.languageText) && !SetByPolicy(kLanguage)) {
        note(kLanguage, WriteLanguage(edited.languageText));
    }
    return report;
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
    // Opening with KEY_WRITE, as the programs' writes open it (creating a
    // missing key, as they would), asks the key's security for the rights
    // those writes need; no value is written, so nothing races KestrixTray.
    KHandle raw = 0;
    if (registry_.RegCreateKeyExW(w32::kHkeyLocalMachine, kSettingsKey, w32::kKeyWrite, &raw) != w32::kErrorSuccess ||
        raw == 0) {
        return SettingWrite::Refused;
    }
    OwnedKey key(registry_, raw);
    return SettingWrite::Written;
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
