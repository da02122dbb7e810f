#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "PictureLetters.h"
#include "display/BusiestCore.h"
#include "display/LoadIconRenderer.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::SimIcon;
using sim::SimPlatform;

constexpr std::int64_t kSecond = 10000000;  // 100-ns units

// One letter per colour: L and D the frame greys, B blue field, T teal grid,
// W white bars, R the busiest processor's red row.
std::vector<std::string> Letters(const SimIcon& icon) {
    return testing_support::PictureLetters(icon, {{0x003A3837, 'L'}, {0x002C2B29, 'D'}, {0x00FF0000, 'B'},
                                                  {0x00808000, 'T'}, {0x00FFFFFF, 'W'}, {0x000000FF, 'R'}});
}

// The processors' counters as ntdll keeps them, advanced one second at a
// time with each processor busy for its share of that second.
class ProcessorCounters {
public:
    // groups[g] is the number of processors of group g.
    explicit ProcessorCounters(std::vector<int> groups) {
        for (int count : groups) times_.emplace_back(static_cast<std::size_t>(count), ProcessorTimes{kSecond, kSecond, 0});
    }
    // busy[g][i]: processor i of group g's busy share of the second, 0 to 1.
    void AdvanceOneSecond(const std::map<std::pair<int, int>, double>& busy) {
        for (std::size_t g = 0; g < times_.size(); ++g) {
            for (std::size_t i = 0; i < times_[g].size(); ++i) {
                const auto it = busy.find({static_cast<int>(g), static_cast<int>(i)});
                const double share = it == busy.end() ? 0.0 : it->second;
                const auto busyTime = static_cast<std::int64_t>(share * kSecond);
                times_[g][i].user += busyTime;
                times_[g][i].idle += kSecond - busyTime;
                times_[g][i].kernel += kSecond - busyTime;  // the kernel time includes the idle time
            }
        }
    }
    // The 48-byte records of each group, as the queries answer them.
    void Publish(sim::SimWorld& world) const {
        world.processorRecords.clear();
        for (const auto& group : times_) {
            std::vector<std::uint8_t> bytes;
            for (const ProcessorTimes& t : group) {
                for (std::int64_t field : {t.idle, t.kernel, t.user, std::int64_t{0}, std::int64_t{0}}) {
                    for (int b = 0; b < 8; ++b) bytes.push_back(static_cast<std::uint8_t>(field >> (8 * b)));
                }
                bytes.insert(bytes.end(), 8, 0);  // InterruptCount and padding
            }
            world.processorRecords.push_back(bytes);
        }
    }

private:
    std::vector<std::vector<ProcessorTimes>> times_;
};

struct BusiestCase {
    const char* name;
    std::vector<int> groups;
    std::map<std::pair<int, int>, double> busy;
    std::int32_t systemPercent;  // what the whole-system meter reads for the bar
    std::optional<double> busiest;
    std::int32_t busiestTop;     // slots 13 and 14 of the busiest history
    std::vector<std::string> picture;
};

class BusiestCoreCases : public ::testing::TestWithParam<BusiestCase> {};

TEST_P(BusiestCoreCases, TheBusiestProcessorIsARowOfItsColourInTheNewestColumns) {
    const BusiestCase& c = GetParam();
    SimPlatform sim;
    if (c.groups.size() > 1) sim.world.libraries[u"NTDLL.DLL"].entries.insert("NtQuerySystemInformationEx");
    ProcessorCounters counters(c.groups);
    counters.Publish(sim.world);
    BusiestCoreMeter meter(sim.system, sim.libraries);
    EXPECT_EQ(meter.ReadBusiestLoad(), std::nullopt) << "the first reading only stores";
    counters.AdvanceOneSecond(c.busy);
    counters.Publish(sim.world);
    const std::optional<double> busiest = meter.ReadBusiestLoad();
    ASSERT_EQ(busiest.has_value(), c.busiest.has_value());
    if (busiest) {
        EXPECT_DOUBLE_EQ(*busiest, *c.busiest);
    }

    IconRenderer renderer(sim.windows, sim.drawing);
    const BusiestRow row{c.busiest ? std::optional<std::int32_t>(static_cast<std::int32_t>(*c.busiest)) : std::nullopt,
                         u"clRed"};
    const KHandle icon = renderer.RenderLoadIcon(u"clBlue", u"clTeal", u"clWhite", c.systemPercent, &row);
    ASSERT_NE(icon, 0u);
    EXPECT_EQ(Letters(sim.world.icons.at(icon)), c.picture);
    EXPECT_EQ(renderer.State().BusiestHistory[13], c.busiestTop);
    EXPECT_EQ(renderer.State().BusiestHistory[14], c.busiestTop);
    EXPECT_EQ(renderer.State().BusiestHistory[12], 63) << "older columns hold no reading yet";
}

INSTANTIATE_TEST_SUITE_P(
    Loads, BusiestCoreCases,
    ::testing::Values(
        // Nothing busy: the busiest row is the one-pixel bar of a load of 0.
        BusiestCase{"Idle", {16}, {}, 0, 0.0, 14,
                    {"LLLLLLLLLLLLLLLL", "LBBTBBTBBTBBTBBL", "LBBTBBTBBTBBTBBL", "LTTTTTTTTTTTTTTL",
                     "LBBTBBTBBTBBTBBL", "LBBTBBTBBTBBTBBL", "LTTTTTTTTTTTTTTL", "LBBTBBTBBTBBTBBL",
                     "LBBTBBTBBTBBTBBL", "LTTTTTTTTTTTTTTL", "DBBTBBTBBTBBTBBD", "DBBTBBTBBTBBTBBD",
                     "DTTTTTTTTTTTTTTD", "DBBTBBTBBTBBTBBD", "DBBTBBTBBTBBTRRD", "DDDDDDDDDDDDDDDD"}},
        // A game's main thread on one of 16 processors: the bar reads 6 %,
        // the busiest row stands at the top.
        BusiestCase{"OneSaturatedCoreOf16", {16}, {{{0, 9}, 1.0}}, 6, 100.0, 1,
                    {"LLLLLLLLLLLLLLLL", "LBBTBBTBBTBBTRRL", "LBBTBBTBBTBBTBBL", "LTTTTTTTTTTTTTTL",
                     "LBBTBBTBBTBBTBBL", "LBBTBBTBBTBBTBBL", "LTTTTTTTTTTTTTTL", "LBBTBBTBBTBBTBBL",
                     "LBBTBBTBBTBBTBBL", "LTTTTTTTTTTTTTTL", "DBBTBBTBBTBBTBBD", "DBBTBBTBBTBBTBBD",
                     "DTTTTTTTTTTTTTTD", "DBBTBBTBBTBBTBBD", "DBBTBBTBBTBBTWWD", "DDDDDDDDDDDDDDDD"}},
        // Everything busy: the row is the full bar's top row.
        BusiestCase{"AllSaturated",
                    {4},
                    {{{0, 0}, 1.0}, {{0, 1}, 1.0}, {{0, 2}, 1.0}, {{0, 3}, 1.0}},
                    100,
                    100.0,
                    1,
                    {"LLLLLLLLLLLLLLLL", "LBBTBBTBBTBBTRRL", "LBBTBBTBBTBBTWWL", "LTTTTTTTTTTTTWWL",
                     "LBBTBBTBBTBBTWWL", "LBBTBBTBBTBBTWWL", "LTTTTTTTTTTTTWWL", "LBBTBBTBBTBBTWWL",
                     "LBBTBBTBBTBBTWWL", "LTTTTTTTTTTTTWWL", "DBBTBBTBBTBBTWWD", "DBBTBBTBBTBBTWWD",
                     "DTTTTTTTTTTTTWWD", "DBBTBBTBBTBBTWWD", "DBBTBBTBBTBBTWWD", "DDDDDDDDDDDDDDDD"}},
        // Two groups of 8: the busiest processor is in the second group,
        // which only the query by group reaches. 75 % is row 15 - 11 = 4.
        BusiestCase{"BusiestInTheSecondGroup", {8, 8}, {{{1, 5}, 0.75}, {{0, 2}, 0.25}}, 6, 75.0, 4,
                    {"LLLLLLLLLLLLLLLL", "LBBTBBTBBTBBTBBL", "LBBTBBTBBTBBTBBL", "LTTTTTTTTTTTTTTL",
                     "LBBTBBTBBTBBTRRL", "LBBTBBTBBTBBTBBL", "LTTTTTTTTTTTTTTL", "LBBTBBTBBTBBTBBL",
                     "LBBTBBTBBTBBTBBL", "LTTTTTTTTTTTTTTL", "DBBTBBTBBTBBTBBD", "DBBTBBTBBTBBTBBD",
                     "DTTTTTTTTTTTTTTD", "DBBTBBTBBTBBTBBD", "DBBTBBTBBTBBTWWD", "DDDDDDDDDDDDDDDD"}}),
    [](const ::testing::TestParamInfo<BusiestCase>& param) { return std::string(param.param.name); });

class BusiestHistoryTest : public ::testing::Test {
protected:
    KHandle Draw(std::int32_t percent, std::optional<std::int32_t> busiest) {
        renderer.FreeLoadIcon();
        const BusiestRow row{busiest, u"clRed"};
        return renderer.RenderLoadIcon(u"clBlue", u"clTeal", u"clWhite", percent, &row);
    }
    SimPlatform sim;
    IconRenderer renderer{sim.windows, sim.drawing};
};

TEST_F(BusiestHistoryTest, TheRowsMoveWithTheColumnsAndAColumnWithoutAReadingHasNone) {
    ASSERT_NE(Draw(50, 100), 0u);
    ASSERT_NE(Draw(50, std::nullopt), 0u);  // the first reading after the setting came on
    const KHandle icon = Draw(50, 50);
    ASSERT_NE(icon, 0u);
    const auto& history = renderer.State().BusiestHistory;
    EXPECT_EQ(history[11], 1);   // the oldest reading, one column further left per drawing
    EXPECT_EQ(history[12], 63);  // no reading: no row
    EXPECT_EQ(history[13], 7);
    EXPECT_EQ(history[14], 7);
    const std::vector<std::string> picture = Letters(sim.world.icons.at(icon));
    EXPECT_EQ(picture[1].substr(11, 4), "RBTB");
    EXPECT_EQ(picture[7].substr(11, 4), "WWRR") << "50 % is the bar's own top row";
    EXPECT_EQ(renderer.State().LoadHistory[11], 7) << "the bars moved alike";
}

TEST_F(BusiestHistoryTest, WithoutTheSettingThePictureIsTheGraphAloneAndOldRowsStayHidden) {
    ASSERT_NE(Draw(50, 100), 0u);
    renderer.FreeLoadIcon();
    // BusiestCore turned off: no row is passed, and none is drawn.
    const KHandle icon = renderer.RenderLoadIcon(u"clBlue", u"clTeal", u"clWhite", 50);
    ASSERT_NE(icon, 0u);
    for (const std::string& row : Letters(sim.world.icons.at(icon))) EXPECT_EQ(row.find('R'), std::string::npos);
    EXPECT_EQ(renderer.State().BusiestHistory[14], 63);
    EXPECT_EQ(renderer.State().BusiestHistory[12], 1) << "the older reading moved on with its column";
}

TEST_F(BusiestHistoryTest, ABusiestColourThatDoesNotConvertGivesNoPictureButTheHistoryMovesOn) {
    const BusiestRow row{100, u"reddish"};
    EXPECT_EQ(renderer.RenderLoadIcon(u"clBlue", u"clTeal", u"clWhite", 50, &row), 0u);
    EXPECT_EQ(renderer.State().BusiestHistory[14], 1);
    EXPECT_EQ(renderer.State().LoadHistory[14], 7);
}

TEST(BusiestLoad, ReadingsOfOtherProcessorsOrWithoutTimeGiveNothing) {
    const std::vector<ProcessorTimes> two = {{kSecond, kSecond, 0}, {kSecond, kSecond, 0}};
    EXPECT_EQ(BusiestLoad({}, two), std::nullopt);
    EXPECT_EQ(BusiestLoad(two, {two[0]}), std::nullopt) << "a processor came or went";
    EXPECT_EQ(BusiestLoad(two, two), std::nullopt) << "no time passed";
    // Counters that went back (a processor brought online anew) are left out.
    const std::vector<ProcessorTimes> later = {{0, 0, 0}, {kSecond, kSecond, kSecond / 2}};
    EXPECT_EQ(BusiestLoad(two, later), 100.0);
}

TEST(BusiestCoreMeterQueries, AskEachGroupOnceAndFallBackToThePlainQuery) {
    SimPlatform sim;
    ProcessorCounters counters({2});
    counters.Publish(sim.world);
    BusiestCoreMeter plain(sim.system, sim.libraries);
    std::vector<ProcessorTimes> times;
    ASSERT_TRUE(plain.ReadProcessorTimes(&times));
    EXPECT_EQ(times.size(), 2u);

    // One group, NtQuerySystemInformationEx exported: the first reading asks
    // group 0 and finds no group 1; later readings ask group 0 alone.
    sim.world.libraries[u"NTDLL.DLL"].entries.insert("NtQuerySystemInformationEx");
    BusiestCoreMeter byGroup(sim.system, sim.libraries);
    sim.world.systemInformationCalls.clear();
    ASSERT_TRUE(byGroup.ReadProcessorTimes(&times));
    ASSERT_TRUE(byGroup.ReadProcessorTimes(&times));
    EXPECT_EQ(times.size(), 2u);
    EXPECT_EQ(sim.world.systemInformationCalls.size(), 3u);
    EXPECT_EQ(sim.world.handles.OpenCount(sim::HandleKind::Library), 2u) << "ntdll stays loaded, once per meter";

    // A group query that does not answer (Wine): the plain query serves.
    sim.world.groupQueryFails = true;
    BusiestCoreMeter wineLike(sim.system, sim.libraries);
    sim.world.systemInformationCalls.clear();
    ASSERT_TRUE(wineLike.ReadProcessorTimes(&times));
    ASSERT_TRUE(wineLike.ReadProcessorTimes(&times));
    EXPECT_EQ(sim.world.systemInformationCalls.size(), 3u) << "the group query is asked once";
}

}  // namespace
}  // namespace kx
