#include <gtest/gtest.h>

#include "config/InputLimits.h"
#include "config/Settings.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

const Text kKey = u"HKLM\\Software\\VELMOR\\Kestrix";

class SettingsTest : public ::testing::Test {
protected:
    sim::SimPlatform sim;
    SettingsStore store{sim.registry};
};

TEST_F(SettingsTest, MissingKeyGivesEveryDefaultAndAWriteCreatesIt) {
    EXPECT_EQ(store.RegReadString(u"Handle", u"0"), u"0");
    EXPECT_EQ(store.RegReadInteger(u"ProcessorPriority", 2), 2);
    EXPECT_TRUE(store.RegReadBool(u"LoadTrayIcon", true));
    EXPECT_FALSE(store.RegReadBool(u"ReloadList", false));
    EXPECT_EQ(sim.world.keys.count(sim::Upper(kKey)), 0u);  // reads never create the key

    store.RegWriteString(u"Handle", u"4242");
    store.RegWriteBool(u"ReloadList", true);
    EXPECT_EQ(store.RegReadString(u"Handle", u"0"), u"4242");
    EXPECT_TRUE(store.RegReadBool(u"ReloadList", false));
    const sim::RegValue* handle = sim.world.Value(kKey, u"Handle");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->type, w32::kRegSz);
    EXPECT_EQ(handle->data.size(), 10u);  // four characters and the terminating zero
    const sim::RegValue* reload = sim.world.Value(kKey, u"ReloadList");
    ASSERT_NE(reload, nullptr);
    EXPECT_EQ(reload->type, w32::kRegDword);
    EXPECT_EQ(reload->data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(sim.world.handles.OpenCount(), 0u);  // every call closed its key
}

TEST_F(SettingsTest, ValuesOfTheWrongTypeOrEmptyGiveTheDefault) {
    sim.world.SetString(kKey, u"ProcessorPriority", u"3");
    sim.world.SetString(kKey, u"Handle", u"");
    sim.world.SetDword(kKey, u"Language", 7);
    sim.world.SetString(kKey, u"ProcessorIdeal", u"1");
    EXPECT_EQ(store.RegReadInteger(u"ProcessorPriority", 2), 2);
    EXPECT_EQ(store.RegReadString(u"Handle", u"0"), u"0");
    EXPECT_EQ(store.RegReadString(u"Language", u"english"), u"english");
    EXPECT_TRUE(store.RegReadBool(u"ProcessorIdeal", true));
    EXPECT_FALSE(store.RegReadBool(u"ProcessorIdeal", false));
}

TEST_F(SettingsTest, BooleansAreAnyNonZeroInteger) {
    struct Case {
        std::uint32_t stored;
        bool defaultValue;
        bool expected;
    };
    for (const Case& c : {Case{5, false, true}, Case{0, true, false}, Case{1, false, true},
                          Case{0xFFFFFFFFu, false, true}}) {
        sim.world.SetDword(kKey, u"LoadTrayIcon", c.stored);
        EXPECT_EQ(store.RegReadBool(u"LoadTrayIcon", c.defaultValue), c.expected) << c.stored;
    }
    sim.world.SetDword(kKey, u"ProcessorPriority", 0xFFFFFFFEu);
    EXPECT_EQ(store.RegReadInteger(u"ProcessorPriority", 2), -2);
}

TEST_F(SettingsTest, TextEndsAtItsTerminatingZero) {
    sim::RegValue value;
    value.type = w32::kRegSz;
    value.data = {'1', 0, '2', 0, 0, 0, '9', 0};
    sim.world.Key(kKey).values[u"HANDLE"] = {u"Handle", value};
    EXPECT_EQ(store.RegReadString(u"Handle", u"0"), u"12");
}

TEST_F(SettingsTest, ARefusedWriteLeavesTheOldTextAndRaisesNothing) {
    sim.world.SetString(kKey, u"Handle", u"100");
    sim.world.Key(kKey).denyWrite = true;
    store.RegWriteString(u"Handle", u"200");
    store.RegWriteBool(u"ReloadList", false);
    EXPECT_EQ(store.RegReadString(u"Handle", u"0"), u"100");
    EXPECT_EQ(sim.world.handles.OpenCount(), 0u);
}

TEST_F(SettingsTest, ATextPastItsCapReadsAsMissing) {
    struct Case {
        std::size_t length;
        bool read;
    };
    for (const Case& c : {Case{kMaxSettingTextChars - 1, true}, Case{kMaxSettingTextChars, true},
                          Case{kMaxSettingTextChars + 1, false}, Case{8u * 1024u * 1024u, false}}) {
        const Text text(c.length, u'7');
        sim.world.SetString(kKey, u"UpdatedDate", text);
        EXPECT_EQ(store.RegReadString(u"UpdatedDate", u"default"), c.read ? text : u"default") << c.length;
    }
    // The cap counts characters: the same count without a terminating zero reads too.
    auto& value = sim.world.Key(kKey).values[sim::Upper(u"BarColor")];
    value = {u"BarColor", sim::RegValue{w32::kRegSz, std::vector<std::uint8_t>(kMaxSettingTextChars * 2u, 'A')}};
    EXPECT_EQ(store.RegReadString(u"BarColor", u"default").size(), kMaxSettingTextChars);
    EXPECT_EQ(sim.world.handles.OpenCount(), 0u);
}

TEST_F(SettingsTest, AWriteReportsWhetherItTookEffect) {
    EXPECT_TRUE(store.RegWriteBool(u"ReloadList", false));
    EXPECT_TRUE(store.RegWriteString(u"Handle", u"1"));
    sim.world.Key(kKey).denyWrite = true;
    EXPECT_FALSE(store.RegWriteBool(u"ReloadList", false));
    EXPECT_FALSE(store.RegWriteString(u"Handle", u"2"));
}

TEST_F(SettingsTest, OpensTheKeyInThe32BitViewWithTheDocumentedMasks) {
    store.RegReadString(u"Handle", u"0");
    store.RegWriteString(u"Handle", u"1");
    store.RegReadInteger(u"X", 0, true);
    store.RegWriteBool(u"X", true, true);
    ASSERT_EQ(sim.world.keyOpens.size(), 4u);
    const Text path = u"HKLM\\SOFTWARE\\VELMOR\\KESTRIX";
    EXPECT_EQ(sim.world.keyOpens[0], std::make_pair(path, 0x20019u));
    EXPECT_EQ(sim.world.keyOpens[1], std::make_pair(path, 0x20006u));
    EXPECT_EQ(sim.world.keyOpens[2], std::make_pair(path, 0x20119u));
    EXPECT_EQ(sim.world.keyOpens[3], std::make_pair(path, 0x20106u));
}

}  // namespace
}  // namespace kx
