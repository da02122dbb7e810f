#include "config/Contract.h"

#include <string_view>

namespace kx::contract {

const SettingDefinition* FindSetting(const char16_t* name) {
    for (const SettingDefinition& setting : kSettings) {
        if (std::u16string_view(setting.name) == name) return &setting;
    }
    return nullptr;
}

const char16_t* ColorDefault(const char16_t* name, bool fromWindows7) {
    const SettingDefinition* setting = FindSetting(name);
    if (setting == nullptr || setting->type != SettingType::Color) return u"";
    return fromWindows7 ? setting->textDefault : setting->classicDefault;
}

bool IsPolicySetting(const char16_t* name) {
    if (FindSetting(name) == nullptr) return false;
    for (const char16_t* state : kProgramState) {
        if (std::u16string_view(state) == name) return false;
    }
    return true;
}

}  // namespace kx::contract
