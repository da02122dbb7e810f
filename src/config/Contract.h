// The contract the programs share (the settings key, its values and defaults,
// the window classes Exit closes, the files beside the tray, the block-list
// path, the version and the caption tables), taken from config/Contract.def,
// the one place it is written. The build reads the same file for the
// installer's include and the version records.
#pragma once

#include <cstdint>

namespace kx {

enum class SettingType { String, Integer, Bool, Color };

struct SettingDefinition {
    const char16_t* name;
    SettingType type;
    std::int32_t integerDefault;  // integers and booleans (0 or 1)
    const char16_t* textDefault;  // texts; colours: from Windows 7 on
    const char16_t* classicDefault;  // colours before Windows 7; otherwise the text default
};

struct LanguageDefinition {
    const char16_t* value;     // as Language stores it
    const char16_t* resource;  // the caption table's resource name
};

namespace contract {

#define KX_CONTRACT_STRING(a) #a
#define KX_VERSION(a, b, c, d)                                                                                \
    inline constexpr char16_t kProductVersion[] =                                                            \
        u"" KX_CONTRACT_STRING(a) "." KX_CONTRACT_STRING(b) "." KX_CONTRACT_STRING(c) "." KX_CONTRACT_STRING(d); \
    inline constexpr std::uint16_t kVersionParts[4] = {a, b, c, d};
#define KX_TEXT(name, text) inline constexpr char16_t k##name[] = u"" text;
#define KX_SETTING_TEXT(name, value) inline constexpr char16_t k##name[] = u"" #name;
#define KX_SETTING_INTEGER(name, value) KX_SETTING_TEXT(name, value)
#define KX_SETTING_BOOL(name, value) KX_SETTING_TEXT(name, value)
#define KX_SETTING_COLOR(name, modern, classic) KX_SETTING_TEXT(name, modern)
#define KX_CLOSE_CLASS(name, text) inline constexpr char16_t k##name[] = u"" text;
#define KX_CAPTION_GROUP(name, text) inline constexpr char16_t k##name[] = u"" text;
#include "config/Contract.def"
#undef KX_CONTRACT_STRING

// Every settings value KestrixTray reads, in the order of the definitions.
inline constexpr SettingDefinition kSettings[] = {
#define KX_SETTING_TEXT(name, value) {u"" #name, SettingType::String, 0, u"" value, u"" value},
#define KX_SETTING_INTEGER(name, value) {u"" #name, SettingType::Integer, value, u"", u""},
#define KX_SETTING_BOOL(name, value) {u"" #name, SettingType::Bool, value, u"", u""},
#define KX_SETTING_COLOR(name, modern, classic) {u"" #name, SettingType::Color, 0, u"" modern, u"" classic},
#include "config/Contract.def"
};

// The caption tables, the first being the fallback language.
inline constexpr LanguageDefinition kLanguages[] = {
#define KX_LANGUAGE(value, resource) {u"" #value, u"" #resource},
#include "config/Contract.def"
};

// The main program's window classes, in the order Exit closes them.
inline constexpr const char16_t* kCompanionWindowClasses[] = {
#define KX_CLOSE_CLASS(name, text) u"" text,
#include "config/Contract.def"
};

// The groups of the caption tables, in the order of the definitions.
inline constexpr const char16_t* kCaptionGroups[] = {
#define KX_CAPTION_GROUP(name, text) u"" text,
#include "config/Contract.def"
};

// The values the programs keep as their own state; no policy sets them.
inline constexpr const char16_t* kProgramState[] = {
#define KX_PROGRAM_STATE(name) u"" #name,
#include "config/Contract.def"
};

// Values only a policy sets: switches (name and default) and block-list lines.
struct PolicyOnlyDefinition {
    const char16_t* name;
    std::int32_t integerDefault;
};
inline constexpr PolicyOnlyDefinition kPolicyOnlySwitches[] = {
#define KX_POLICY_BOOL(name, value) {u"" #name, value},
#include "config/Contract.def"
};
#define KX_POLICY_ROWS(name) inline constexpr char16_t k##name[] = u"" #name;
#include "config/Contract.def"

// The definition of a settings value by its name; null for a name KestrixTray does not read.
const SettingDefinition* FindSetting(const char16_t* name);
// The default of a colour value: from Windows 7 on (index 5) or before it.
// Empty for a name that is no colour value.
const char16_t* ColorDefault(const char16_t* name, bool fromWindows7);
// Whether a policy value of that name may stand in for the settings value:
// every settings value but the programs' own state.
bool IsPolicySetting(const char16_t* name);

}  // namespace contract

}  // namespace kx
