#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/Contract.h"
#include "config/InputLimits.h"
#include "config/Policies.h"
#include "config/Settings.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::T;

const Text kSettingsPath = u"HKLM\\Software\\VELMOR\\Kestrix";
const Text kPolicyPath = u"HKLM\\Software\\Policies\\VELMOR\\Kestrix";

// A value of any type and bytes, as a policy client or another account may leave it.
void SetRaw(sim::SimWorld& world, const Text& path, const Text& name, std::uint32_t type,
            std::vector<std::uint8_t> data) {
    sim::RegValue value;
    value.type = type;
    value.data = std::move(data);
    world.Key(path).values[sim::Upper(name)] = {name, value};
}

std::vector<std::uint8_t> MultiSz(const std::vector<Text>& texts) {
    std::vector<std::uint8_t> bytes;
    for (const Text& text : texts) {
        for (char16_t c : text) {
            bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        bytes.push_back(0);
        bytes.push_back(0);
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

class Policies : public ::testing::Test {
protected:
    sim::SimPlatform sim;
    SettingsStore store{sim.registry};
};

// What a read through the store gives for one settings value, as text.
std::string ReadThrough(const SettingsStore& store, const SettingDefinition& setting) {
    switch (setting.type) {
        case SettingType::Integer: return std::to_string(store.RegReadInteger(setting.name, 77));
        case SettingType::Bool: return store.RegReadBool(setting.name, false) ? "true" : "false";
        case SettingType::String:
        case SettingType::Color: return sim::U8(store.RegReadString(setting.name, u"default"));
    }
    return "";
}

struct OverrideCase {
    const char* name;
    std::uint32_t type;  // of the policy value
    std::vector<std::uint8_t> policyData;
    const char* expected;  // through the store; the settings value below loses or wins
};

class PolicyOverride : public Policies, public ::testing::WithParamInterface<OverrideCase> {};

TEST_P(PolicyOverride, APolicyOfTheSettingsTypeWinsAnyOtherIsIgnored) {
    const OverrideCase& c = GetParam();
    // The user's values: priority 2, ideal off, language russian, bars red.
    sim.world.SetDword(kSettingsPath, u"ProcessorPriority", 2);
    sim.world.SetDword(kSettingsPath, u"ProcessorIdeal", 0);
    sim.world.SetString(kSettingsPath, u"Language", u"russian");
    sim.world.SetString(kSettingsPath, u"BarColor", u"clRed");
    SetRaw(sim.world, kPolicyPath, T(c.name), c.type, c.policyData);
    const SettingDefinition* setting = contract::FindSetting(T(c.name).c_str());
    ASSERT_NE(setting, nullptr);
    EXPECT_EQ(ReadThrough(store, *setting), c.expected) << c.name;
}

std::vector<std::uint8_t> Dword(std::uint32_t value) {
    const auto bytes = DwordData(value);
    return {bytes.begin(), bytes.end()};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PolicyOverride,
    ::testing::Values(OverrideCase{"ProcessorPriority", w32::kRegDword, Dword(0), "0"},
                      // The templates write -2 and -1 as unsigned decimals.
                      OverrideCase{"ProcessorPriority", w32::kRegDword, Dword(4294967294u), "-2"},
                      OverrideCase{"ProcessorIdeal", w32::kRegDword, Dword(1), "true"},
                      OverrideCase{"Language", w32::kRegSz, RegSzData(u"french"), "french"},
                      OverrideCase{"BarColor", w32::kRegSz, RegSzData(u"clLime"), "clLime"},
                      // Not the settings value's type, or empty: the user's value stands.
                      OverrideCase{"ProcessorPriority", w32::kRegSz, RegSzData(u"0"), "2"},
                      OverrideCase{"ProcessorPriority", w32::kRegBinary, {0, 0}, "2"},
                      OverrideCase{"ProcessorIdeal", w32::kRegSz, RegSzData(u"1"), "false"},
                      OverrideCase{"Language", w32::kRegDword, Dword(1), "russian"},
                      OverrideCase{"Language", w32::kRegSz, RegSzData(u""), "russian"}));

TEST_F(Policies, ThePolicyKeyIsOpenedReadOnlyInThe64BitViewAndReReadAtEveryRead) {
    sim.world.SetDword(kSettingsPath, u"ProcessorPriority", 2);
    sim.world.SetDword(kPolicyPath, u"ProcessorPriority", 0);
    EXPECT_EQ(store.RegReadInteger(u"ProcessorPriority", 2), 0);
    // The organisation lifts the policy: the very next read takes the user's value.
    sim.world.DeleteValue(kPolicyPath, u"ProcessorPriority");
    EXPECT_EQ(store.RegReadInteger(u"ProcessorPriority", 2), 2);
    sim.world.SetDword(kPolicyPath, u"ProcessorPriority", 1);
    EXPECT_EQ(store.RegReadInteger(u"ProcessorPriority", 2), 1);

    std::size_t policyOpens = 0;
    for (const auto& [path, access] : sim.world.keyOpens) {
        if (path != sim::Upper(kPolicyPath)) continue;
        ++policyOpens;
        EXPECT_EQ(access, w32::kKeyRead | w32::kKeyWow64_64Key);
    }
    EXPECT_EQ(policyOpens, 3u);
    EXPECT_EQ(sim.world.handles.OpenCount(), 0u);
}

TEST_F(Policies, TheProgramsOwnStateIsNeverTakenFromAPolicy) {
    for (const char16_t* name : contract::kProgramState) {
        sim.world.SetString(kPolicyPath, name, u"12345");
        EXPECT_FALSE(store.Policies().IsSet(name)) << sim::U8(name);
    }
    sim.world.SetDword(kPolicyPath, u"ReloadList", 1);
    EXPECT_FALSE(store.RegReadBool(u"ReloadList", false));
    EXPECT_EQ(store.RegReadString(u"Handle", u"0"), u"0");
    EXPECT_EQ(store.RegReadString(u"UpdatedDate", u""), u"");
}

TEST_F(Policies, EverySettingButTheProgramsStateCanBeSetAndIsShownAsSet) {
    for (const SettingDefinition& setting : contract::kSettings) {
        if (!contract::IsPolicySetting(setting.name)) continue;
        EXPECT_FALSE(store.Policies().IsSet(setting.name)) << sim::U8(setting.name);
        const bool integer = setting.type == SettingType::Integer || setting.type == SettingType::Bool;
        if (integer) {
            sim.world.SetDword(kPolicyPath, setting.name, 1);
        } else {
            sim.world.SetString(kPolicyPath, setting.name, u"clRed");
        }
        EXPECT_TRUE(store.Policies().IsSet(setting.name)) << sim::U8(setting.name);
    }
}

TEST_F(Policies, ATextPastTheSettingsCapIsNoPolicy) {
    sim.world.SetString(kSettingsPath, u"GridColor", u"clGray");
    sim.world.SetString(kPolicyPath, u"GridColor", Text(kMaxSettingTextChars + 1, u'a'));
    EXPECT_EQ(store.RegReadString(u"GridColor", u"x"), u"clGray");
    EXPECT_FALSE(store.Policies().IsSet(u"GridColor"));
    sim.world.SetString(kPolicyPath, u"GridColor", Text(kMaxSettingTextChars, u'a'));
    EXPECT_EQ(store.RegReadString(u"GridColor", u"x").size(), kMaxSettingTextChars);
}

TEST_F(Policies, UpdateCheckIsOnUnlessAPolicyTurnsItOff) {
    EXPECT_TRUE(store.Policies().UpdateCheck());
    sim.world.SetDword(kPolicyPath, u"UpdateCheck", 0);
    EXPECT_FALSE(store.Policies().UpdateCheck());
    // Only a policy sets it: the settings key's value is not looked at.
    sim.world.DeleteValue(kPolicyPath, u"UpdateCheck");
    sim.world.SetDword(kSettingsPath, u"UpdateCheck", 0);
    EXPECT_TRUE(store.Policies().UpdateCheck());
}

struct RowsCase {
    const char* what;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    std::size_t lines;
    bool overCap;
};

TEST_F(Policies, BlockRowsAreReadAsLinesWithinTheFilesCaps) {
    const Text longLine = Text(kMaxBlockListLineChars + 1, u'x');
    std::vector<Text> tooMany(kMaxBlockListRows + 1, u"+,1,a,b");
    const RowsCase cases[] = {
        {"two lines", kRegMultiSz, MultiSz({u"+,1,Notepad,n", u"+,2,\\Games\\,g"}), 2, false},
        {"an empty text ends the list", kRegMultiSz, MultiSz({u"+,1,a,b", u"", u"+,1,c,d"}), 1, false},
        {"no closing zero", kRegMultiSz, {u'a', 0, u',', 0}, 1, false},
        {"a REG_SZ is no list", w32::kRegSz, RegSzData(u"+,1,a,b"), 0, false},
        {"a line past its cap", kRegMultiSz, MultiSz({u"+,1,a,b", longLine}), 0, true},
        {"a line break inside a text", kRegMultiSz, MultiSz({u"+,1,a,b\r\n+,1,c,d"}), 0, true},
        {"rows past their cap", kRegMultiSz, MultiSz(tooMany), 0, true},
        {"bytes past the file's cap", kRegMultiSz,
         std::vector<std::uint8_t>(static_cast<std::size_t>(kMaxBlockListFileBytes) + 2, u'a'), 0, true},
    };
    for (const RowsCase& c : cases) {
        SetRaw(sim.world, kPolicyPath, u"BlockRows", c.type, c.data);
        const PolicyRows rows = store.Policies().BlockRows();
        EXPECT_EQ(rows.lines.size(), c.lines) << c.what;
        EXPECT_EQ(rows.overCap, c.overCap) << c.what;
    }
}

}  // namespace
}  // namespace kx
