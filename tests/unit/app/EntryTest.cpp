#include <gtest/gtest.h>

#include <optional>

#include "app/RunOnce.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::T;

const char* kSettingsPath = "HKLM\\SOFTWARE\\VELMOR\\KESTRIX";

struct EntryCase {
    const char* argument;
    std::optional<std::uint32_t> loadKestrix;  // nullopt: the value is missing
    bool otherInstance;
    EntryDecision expected;
};

class Entry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(Entry, DecidesFromTheFirstArgumentTheSettingAndTheOtherInstance) {
    const EntryCase& c = GetParam();
    sim::SimPlatform sim;
    if (c.loadKestrix) sim.world.SetDword(T(kSettingsPath), u"LoadKestrix", *c.loadKestrix);
    if (c.otherInstance) sim.world.AddWindow(u"Kestrix", u"TKXTrayForm", 77, 78);
    const SettingsStore settings(sim.registry);

    EXPECT_EQ(DecideEntry(T(c.argument), settings, sim.windows), c.expected);
    EXPECT_TRUE(sim.world.showWindowCalls.empty()) << "the other instance is never activated";
    EXPECT_TRUE(sim.world.foregroundRequests.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Entry,
    ::testing::Values(EntryCase{"/START", 0, false, EntryDecision::NotWanted},
                      EntryCase{"/start", 0, false, EntryDecision::NotWanted},
                      EntryCase{"/Start", 0, true, EntryDecision::NotWanted},
                      EntryCase{"", 0, false, EntryDecision::Run},
                      EntryCase{"/settings", 0, false, EntryDecision::Run},
                      EntryCase{"/start", std::nullopt, false, EntryDecision::Run},
                      EntryCase{"/start", 1, false, EntryDecision::Run},
                      EntryCase{"/start", 5, false, EntryDecision::Run},
                      EntryCase{"", std::nullopt, true, EntryDecision::AlreadyRunning},
                      EntryCase{"/start", 1, true, EntryDecision::AlreadyRunning}));

TEST(EntryProbe, SettingIsNotReadUnlessTheStartIsAutomatic) {
    sim::SimPlatform sim;
    const SettingsStore settings(sim.registry);
    DecideEntry(u"", settings, sim.windows);
    EXPECT_TRUE(sim.world.keyOpens.empty());
}

TEST(EntryProbe, FindsOnlyATopLevelWindowOfExactlyThatClass) {
    sim::SimPlatform sim;
    const Hwnd child = sim.world.AddWindow(u"", u"TKXTrayForm", 1, 1);
    sim.world.windows[child].topLevel = false;
    sim.world.AddWindow(u"", u"TKXTrayFormX", 1, 1);
    EXPECT_FALSE(FindProgramWindow(sim.windows, u"TKXTrayForm", false));
    sim.world.AddWindow(u"", u"TKXTrayForm", 2, 2);
    EXPECT_TRUE(FindProgramWindow(sim.windows, u"TKXTrayForm", false));
}

TEST(EntryProbe, RestoreBringsTheWindowBackAndForward) {
    sim::SimPlatform sim;
    const Hwnd window = sim.world.AddWindow(u"Kestrix", u"TKXMainForm", 1, 1);
    EXPECT_TRUE(FindProgramWindow(sim.windows, u"TKXMainForm", true));
    ASSERT_EQ(sim.world.showWindowCalls.size(), 1u);
    EXPECT_EQ(sim.world.showWindowCalls[0], std::make_pair(window, 9));  // SW_RESTORE
    EXPECT_EQ(sim.world.foregroundRequests, std::vector<Hwnd>{window});
}

}  // namespace
}  // namespace kx
