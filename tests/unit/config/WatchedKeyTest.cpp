#include <gtest/gtest.h>

#include "config/Settings.h"
#include "config/WatchedKey.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

const Text kKey = u"HKLM\\Software\\VELMOR\\Kestrix";
// The store also watches the policy key, missing here, through the key above it.
constexpr std::size_t kPolicyWatch = 1;

// The settings store as the tray uses it: Refresh once a tick, reads between.
class WatchedSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { sim.world.SetDword(kKey, u"ProcessorPriority", 1); }
    std::int32_t Priority() const { return store.RegReadInteger(u"ProcessorPriority", 2); }

    sim::SimPlatform sim;
    SettingsStore store{sim.registry, &sim.trace};
};

TEST_F(WatchedSettingsTest, AnUnchangedKeyIsReadOnceAndAChangeIsSeenAtTheNextTick) {
    store.Refresh();
    EXPECT_EQ(Priority(), 1);
    const std::size_t queries = sim.world.valueQueries;
    for (int tick = 0; tick < 5; ++tick) {
        store.Refresh();
        EXPECT_EQ(Priority(), 1);
    }
    EXPECT_EQ(sim.world.valueQueries, queries) << "nothing changed: no registry read";
    // The key stays open, and so does the key above the missing policy key.
    EXPECT_EQ(sim.world.handles.OpenCount(sim::HandleKind::Key), 1u + kPolicyWatch);

    // Another program changes the value: this tick still has the value read
    // before, the next one the new value.
    sim.world.SetDword(kKey, u"ProcessorPriority", 3);
    EXPECT_EQ(Priority(), 1);
    store.Refresh();
    EXPECT_EQ(Priority(), 3);
    // A value removed reads as its default again.
    sim.world.DeleteValue(kKey, u"ProcessorPriority");
    store.Refresh();
    EXPECT_EQ(Priority(), 2);
}

TEST_F(WatchedSettingsTest, WhatTheStoreWritesIsReadBackAtOnceAndAFailedWriteLeavesTheOldValue) {
    sim.world.SetString(kKey, u"Handle", u"100");
    store.Refresh();
    EXPECT_EQ(store.RegReadString(u"Handle", u"0"), u"100");
    ASSERT_TRUE(store.RegWriteString(u"Handle", u"200"));
    EXPECT_EQ(store.RegReadString(u"Handle", u"0"), u"200");

    sim.world.Key(kKey).denyWrite = true;
    EXPECT_FALSE(store.RegWriteString(u"Handle", u"300"));
    EXPECT_EQ(store.RegReadString(u"Handle", u"0"), u"200");
}

TEST_F(WatchedSettingsTest, AKeyThatCannotBeWatchedIsReadAtEveryReadAndSaysSoOnce) {
    sim.world.unwatchableKeys.insert(sim::Upper(kKey));
    store.Refresh();
    EXPECT_EQ(Priority(), 1);
    sim.world.SetDword(kKey, u"ProcessorPriority", 0);
    EXPECT_EQ(Priority(), 0) << "read afresh, without waiting for a tick";
    const std::size_t queries = sim.world.valueQueries;
    store.Refresh();
    EXPECT_EQ(Priority(), 0);
    EXPECT_EQ(sim.world.valueQueries, queries + 1);
    EXPECT_EQ(sim.world.handles.OpenCount(sim::HandleKind::Key), kPolicyWatch) << "each read closed its key";
    ASSERT_EQ(sim.world.debugLines.size(), 1u);
    EXPECT_NE(sim.world.debugLines[0].find(u"cannot be watched"), Text::npos);
}

TEST_F(WatchedSettingsTest, AMissingKeyCostsNoReadAndItsCreationOrDeletionIsSeenAtTheNextTick) {
    sim.world.keys.clear();
    store.Refresh();
    EXPECT_EQ(Priority(), 2);  // missing key: the default
    const std::size_t opens = sim.world.keyOpens.size();
    const std::size_t queries = sim.world.valueQueries;
    for (int tick = 0; tick < 3; ++tick) {
        store.Refresh();
        EXPECT_EQ(Priority(), 2);
    }
    EXPECT_EQ(sim.world.keyOpens.size(), opens) << "the absence is watched from above, not asked again";
    EXPECT_EQ(sim.world.valueQueries, queries);

    // Made with the keys on its way, as an installer does: seen at the next tick.
    sim.world.SetDword(kKey, u"ProcessorPriority", -1);
    store.Refresh();
    EXPECT_EQ(Priority(), -1);
    EXPECT_EQ(sim.world.handles.OpenCount(sim::HandleKind::Key), 1u + kPolicyWatch) << "the key itself, watched";

    sim.world.keys.erase(sim::Upper(kKey));
    store.Refresh();
    EXPECT_EQ(Priority(), 2);
    EXPECT_EQ(sim.world.handles.OpenCount(sim::HandleKind::Key), 1u + kPolicyWatch) << "only the key above it";
    sim.world.SetDword(kKey, u"ProcessorPriority", 0);
    store.Refresh();
    EXPECT_EQ(Priority(), 0) << "made again below a key that was there all along";
    EXPECT_TRUE(sim.world.debugLines.empty()) << "a missing key is no failure";
}

TEST(WatchedKey, AValueLargerThanTheReaderAcceptsIsToldApartFromAMissingOne) {
    sim::SimPlatform sim;
    sim.world.SetString(kKey, u"Language", u"french");
    WatchedKey key(sim.registry, w32::kHkeyLocalMachine, u"Software\\VELMOR\\Kestrix", w32::kKeyRead);
    key.Refresh();
    const KeyValue small = key.Read(u"Language", 4);
    EXPECT_EQ(small.status, w32::kErrorSuccess);
    EXPECT_TRUE(small.tooLarge);
    EXPECT_TRUE(small.data.empty());
    const KeyValue whole = key.Read(u"Language", 64);
    EXPECT_FALSE(whole.tooLarge);
    EXPECT_EQ(whole.data.size(), 14u);
    EXPECT_EQ(key.Read(u"Missing", 64).status, w32::kErrorFileNotFound);
    EXPECT_EQ(DwordValue(whole), std::nullopt);
}

}  // namespace
}  // namespace kx
