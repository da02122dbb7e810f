#include "config/Policies.h"

#include <utility>

#include "config/Contract.h"
#include "config/InputLimits.h"
#include "config/Settings.h"
#include "platform/Owned.h"

namespace kx {

// On 64-bit Windows the policy client writes the 64-bit view; a 32-bit
// program reaches it only by asking (32-bit Windows ignores the flag).
PolicyOverlay::PolicyOverlay(IRegistry& registry, DebugTrace* trace)
    : key_(registry, w32::kHkeyLocalMachine, contract::kPolicyKey, w32::kKeyRead | w32::kKeyWow64_64Key, trace,
           "policies") {}

bool PolicyOverlay::Read(const Text& name, std::uint32_t maxBytes, std::uint32_t* type,
                         std::vector<std::uint8_t>* data, bool* tooLarge) const {
    KeyValue value = key_.Read(name, maxBytes);
    *type = value.type;
    if (value.tooLarge) {
        if (tooLarge != nullptr) *tooLarge = true;
        return false;
    }
    if (value.status != w32::kErrorSuccess) return false;
    *data = std::move(value.data);
    return true;
}

std::optional<Text> PolicyOverlay::ReadText(const Text& name) const {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    // The cap of a settings text, with its terminating zero.
    if (!Read(name, static_cast<std::uint32_t>((kMaxSettingTextChars + 1u) * 2u), &type, &data)) return std::nullopt;
    if (type != w32::kRegSz && type != kRegExpandSz) return std::nullopt;
    Text text = RegSzText(data.data(), data.size());
    if (text.empty()) return std::nullopt;
    return text;
}

std::optional<std::int32_t> PolicyOverlay::ReadInteger(const Text& name) const {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!Read(name, 4, &type, &data) || type != w32::kRegDword || data.size() != 4) return std::nullopt;
    return static_cast<std::int32_t>(DwordFromData(data.data()));
}

bool PolicyOverlay::IsSet(const Text& name) const {
    if (!contract::IsPolicySetting(name.c_str())) return false;
    const SettingDefinition* setting = contract::FindSetting(name.c_str());
    switch (setting->type) {
        case SettingType::Integer:
        case SettingType::Bool: return ReadInteger(name).has_value();
        case SettingType::String:
        case SettingType::Color: return ReadText(name).has_value();
    }
    return false;
}

bool PolicyOverlay::UpdateCheck() const {
    const auto& definition = contract::kPolicyOnlySwitches[0];
    static_assert(sizeof contract::kPolicyOnlySwitches / sizeof contract::kPolicyOnlySwitches[0] == 1,
                  "UpdateCheck is the one policy-only switch");
    const std::optional<std::int32_t> value = ReadInteger(definition.name);
    return value ? *value != 0 : definition.integerDefault != 0;
}

PolicyRows PolicyOverlay::BlockRows() const {
    PolicyRows rows;
    try {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        // Past the file's cap in bytes the value is not read at all.
        const auto maxBytes = static_cast<std::uint32_t>(kMaxBlockListFileBytes);
        bool tooLarge = false;
        if (!Read(contract::kBlockRows, maxBytes, &type, &data, &tooLarge)) {
            rows.overCap = tooLarge && type == kRegMultiSz;
            return rows;
        }
        if (type != kRegMultiSz) return rows;
        Text all;
        all.reserve(data.size() / 2u);
        for (std::size_t i = 0; i + 1u < data.size(); i += 2u) {
            all.push_back(static_cast<char16_t>(data[i] | (data[i + 1u] << 8)));
        }
        // The texts, each ended by a zero; an empty text ends the list.
        std::size_t start = 0;
        while (start < all.size()) {
            const std::size_t end = all.find(char16_t{0}, start);
            const std::size_t stop = end == Text::npos ? all.size() : end;
            if (stop == start) break;
            Text line = all.substr(start, stop - start);
            // One text is one line: a line break inside it would make rows the
            // caps do not count, and it is no line the file could hold.
            if (line.size() > kMaxBlockListLineChars || line.find_first_of(u"\r\n") != Text::npos ||
                rows.lines.size() >= kMaxBlockListRows) {
                rows.lines.clear();
                rows.overCap = true;
                return rows;
            }
            rows.lines.push_back(std::move(line));
            start = stop + 1u;
        }
    } catch (...) {
        rows.lines.clear();
    }
    return rows;
}

}  // namespace kx
