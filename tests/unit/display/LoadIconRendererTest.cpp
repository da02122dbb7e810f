#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "PictureLetters.h"
#include "display/LoadIconRenderer.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::SimIcon;
using sim::SimPlatform;

constexpr std::uint32_t kBlue = 0x00FF0000;
constexpr std::uint32_t kTeal = 0x00808000;
constexpr std::uint32_t kWhite = 0x00FFFFFF;

// One letter per colour: L and D the frame greys, B blue, T teal, W white;
// any other colour shows as '?'.
std::vector<std::string> Letters(const SimIcon& icon) {
    return testing_support::PictureLetters(
        icon, {{0x003A3837, 'L'}, {0x002C2B29, 'D'}, {kBlue, 'B'}, {kTeal, 'T'}, {kWhite, 'W'}});
}

class RendererTest : public ::testing::Test {
protected:
    KHandle Draw(int percent, const Text& bar = u"clWhite") {
        return renderer.RenderLoadIcon(u"clBlue", u"clTeal", bar, percent);
    }
    const SimIcon& IconOf(KHandle icon) { return sim.world.icons.at(icon); }
    std::uint32_t Pixel(KHandle icon, int x, int y) {
        const SimIcon& picture = IconOf(icon);
        return picture.colorRefs.at(static_cast<std::size_t>(y * picture.width + x));
    }
    void SetIconMetrics(int cx, int cy) {
        sim.world.metrics[w32::kSmCxSmIcon] = cx;
        sim.world.metrics[w32::kSmCySmIcon] = cy;
    }

    SimPlatform sim;
    IconRenderer renderer{sim.windows, sim.drawing};
};

TEST_F(RendererTest, FirstDrawingOfTheSixteenPixelExample) {
    const KHandle icon = Draw(50);
    ASSERT_NE(icon, 0u);
    EXPECT_EQ(icon, renderer.LastLoadIcon());
    const SimIcon& picture = IconOf(icon);
    EXPECT_TRUE(picture.alpha.empty());  // fully opaque
    const std::vector<std::string> expected = {
        "LLLLLLLLLLLLLLLL",  //
        "LBBTBBTBBTBBTBBL",  //
        "LBBTBBTBBTBBTBBL",  //
        "LTTTTTTTTTTTTTTL",  // grid row 3
        "LBBTBBTBBTBBTBBL",  //
        "LBBTBBTBBTBBTBBL",  //
        "LTTTTTTTTTTTTTTL",  //
        "LBBTBBTBBTBBTWWL",  // the newest reading, top row 7, in columns 13 and 14
        "LBBTBBTBBTBBTWWL",  //
        "LTTTTTTTTTTTTWWL",  //
        "DBBTBBTBBTBBTWWD",  // the darker grey from row 10
        "DBBTBBTBBTBBTWWD",  //
        "DTTTTTTTTTTTTWWD",  //
        "DBBTBBTBBTBBTWWD",  //
        "DBBTBBTBBTBBTWWD",  //
        "DDDDDDDDDDDDDDDD",  //
    };
    EXPECT_EQ(Letters(picture), expected);

    const RendererState& state = renderer.State();
    EXPECT_EQ(state.LoadHistory[13], 7);
    EXPECT_EQ(state.LoadHistory[14], 7);
    for (int slot = 0; slot <= 12; ++slot) EXPECT_EQ(state.LoadHistory[slot], 63) << slot;
    EXPECT_EQ(state.LoadHistory[63], 63);
    EXPECT_EQ(state.GridPhase, 2);
    EXPECT_FALSE(state.RenderBusy);
}

TEST_F(RendererTest, ThirdDrawingHasMovedGridAndGraphTwoColumnsLeft) {
    for (int i = 0; i < 2; ++i) {
        ASSERT_NE(Draw(50), 0u);
        renderer.FreeLoadIcon();
    }
    const KHandle icon = Draw(50);
    ASSERT_NE(icon, 0u);
    const std::vector<std::string> expected = {
        "LLLLLLLLLLLLLLLL",  //
        "LTBBTBBTBBTBBTBL",  // grid columns 1, 4, 7, 10 and 13
        "LTBBTBBTBBTBBTBL",  //
        "LTTTTTTTTTTTTTTL",  //
        "LTBBTBBTBBTBBTBL",  //
        "LTBBTBBTBBTBBTBL",  //
        "LTTTTTTTTTTTTTTL",  //
        "LTBBTBBTBBTWWWWL",  // three readings in four columns, 11 to 14
        "LTBBTBBTBBTWWWWL",  //
        "LTTTTTTTTTTWWWWL",  //
        "DTBBTBBTBBTWWWWD",  //
        "DTBBTBBTBBTWWWWD",  //
        "DTTTTTTTTTTWWWWD",  //
        "DTBBTBBTBBTWWWWD",  //
        "DTBBTBBTBBTWWWWD",  //
        "DDDDDDDDDDDDDDDD",  //
    };
    EXPECT_EQ(Letters(IconOf(icon)), expected);
    EXPECT_EQ(renderer.State().GridPhase, 3);
}

TEST_F(RendererTest, SecondDrawingPutsGridColumnsOneToTheLeft) {
    ASSERT_NE(Draw(50), 0u);
    renderer.FreeLoadIcon();
    const KHandle icon = Draw(50);
    ASSERT_NE(icon, 0u);
    EXPECT_EQ(Letters(IconOf(icon))[1], "LBTBBTBBTBBTBBTL");  // grid columns 2, 5, 8, 11 and 14
    EXPECT_EQ(Letters(IconOf(icon))[14], "DBTBBTBBTBBTWWWD");  // and under the bars
}

TEST(LoadBarTop, FollowsTheLoadAndStaysInsideTheFrame) {
    struct Case {
        std::int32_t percent;
        int height;
        std::int32_t top;
    };
    const Case cases[] = {
        {0, 16, 14},  // a one-pixel bar on the row above the bottom frame
        {30, 16, 11},  // 4.5 rounds to 4
        {50, 16, 7},   // 7.5 rounds to 8
        {70, 16, 5},   // 10.5 rounds to 10
        {90, 16, 1},   // 13.5 rounds to 14
        {100, 16, 1},  // top 0 raised to 1
        {101, 16, 1},
        {std::numeric_limits<std::int32_t>::max(), 16, 1},
        {-1, 16, 14},
        {std::numeric_limits<std::int32_t>::min(), 16, 14},
        {59, 51, 21},  // 29.5 in exact arithmetic, just below it in extended precision: 29
        {70, 46, 13},  // 31.5 rounds to 32; plain double arithmetic would give 31
        {100, 64, 1},
        {0, 64, 62},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LoadBarTop(c.percent, c.height), c.top) << c.percent << "% at height " << c.height;
    }
}

// Rounding of an exact fraction n / 100 to a whole number, ties to even.
std::int64_t RoundFraction(std::int64_t n) {
    std::int64_t whole = n / 100;
    const std::int64_t rest = n % 100;
    if (rest > 50 || (rest == 50 && whole % 2 != 0)) ++whole;
    return whole;
}

TEST(LoadBarHeight, MatchesExtendedPrecisionForEveryLoadAndHeight) {
    if (std::numeric_limits<long double>::digits != 64) {
        GTEST_SKIP() << "long double is not the x87 extended format here";
    }
    // The hardware's own extended arithmetic in round-to-nearest, the oracle.
    int differencesFromExact = 0;
    for (int height = 1; height <= 64; ++height) {
        for (std::int32_t percent = 0; percent <= 100; ++percent) {
            volatile long double q = static_cast<long double>(percent) / 100.0L;
            volatile long double r = q * static_cast<long double>(height - 1);
            const auto expected = static_cast<std::int64_t>(std::nearbyintl(r));
            ASSERT_EQ(LoadBarHeight(percent, height), expected) << percent << "% at height " << height;
            if (expected != RoundFraction(std::int64_t{percent} * (height - 1))) {
                EXPECT_EQ(percent, 59);
                EXPECT_EQ(height, 51);
                ++differencesFromExact;
            }
        }
    }
    EXPECT_EQ(differencesFromExact, 1);
}

TEST(LoadBarHeight, MatchesExtendedPrecisionBeyondTheUsualRange) {
    if (std::numeric_limits<long double>::digits != 64) {
        GTEST_SKIP() << "long double is not the x87 extended format here";
    }
    for (std::int32_t percent : {101, 150, 199, 12345, -1, -59, -12345, 2147483647, -2147483647 - 1}) {
        for (int height : {2, 16, 51, 64}) {
            volatile long double q = static_cast<long double>(percent) / 100.0L;
            volatile long double r = q * static_cast<long double>(height - 1);
            EXPECT_EQ(LoadBarHeight(percent, height), static_cast<std::int64_t>(std::nearbyintl(r)))
                << percent << "% at height " << height;
        }
    }
}

TEST_F(RendererTest, SizeComesFromTheSmallIconMetricsAtMostSixtyFour) {
    struct Metrics {
        int cx;
        int cy;
        int side;
    };
    for (const Metrics m : {Metrics{80, 40, 64}, Metrics{16, 16, 16}, Metrics{40, 80, 64}, Metrics{64, 64, 64},
                            Metrics{32, 32, 32}}) {
        SetIconMetrics(m.cx, m.cy);
        const KHandle icon = Draw(100);
        ASSERT_NE(icon, 0u);
        EXPECT_EQ(IconOf(icon).width, m.side) << m.cx << " x " << m.cy;
        EXPECT_EQ(IconOf(icon).height, m.side) << m.cx << " x " << m.cy;
        // The side frame columns change grey at row 10; the full bar ends on row side - 2.
        EXPECT_EQ(Pixel(icon, m.side - 1, 9), 0x003A3837u);
        EXPECT_EQ(Pixel(icon, m.side - 1, 10), 0x002C2B29u);
        EXPECT_EQ(Pixel(icon, m.side - 2, 1), kWhite);
        EXPECT_EQ(Pixel(icon, m.side - 2, m.side - 2), kWhite);
        EXPECT_EQ(Pixel(icon, m.side - 2, m.side - 1), 0x002C2B29u);
        renderer.FreeLoadIcon();
    }
}

TEST_F(RendererTest, OlderColumnsKeepTheRowsOfTheSizeTheyWereDrawnAt) {
    // 16 wide and 32 high: a load of 0 stands on row 30.
    SetIconMetrics(16, 32);
    ASSERT_NE(Draw(0), 0u);
    renderer.FreeLoadIcon();
    // 16 x 16: the rows 30 lie below the picture and colour nothing, not even the frame.
    SetIconMetrics(16, 16);
    KHandle icon = Draw(50);
    ASSERT_NE(icon, 0u);
    EXPECT_EQ(renderer.State().LoadHistory[12], 30);
    EXPECT_EQ(Letters(IconOf(icon))[14], "DBTBBTBBTBBTBWWD");
    EXPECT_EQ(Letters(IconOf(icon))[15], "DDDDDDDDDDDDDDDD");
    renderer.FreeLoadIcon();

    // 32 x 32: the readings of the 16-pixel pictures keep their top row 7.
    SetIconMetrics(32, 32);
    icon = Draw(0);
    ASSERT_NE(icon, 0u);
    for (int x : {12, 13}) {
        EXPECT_NE(Pixel(icon, x, 6), kWhite) << x;
        for (int y = 7; y <= 30; ++y) EXPECT_EQ(Pixel(icon, x, y), kWhite) << x << "," << y;
    }
    for (int x : {29, 30}) {
        EXPECT_NE(Pixel(icon, x, 29), kWhite) << x;
        EXPECT_EQ(Pixel(icon, x, 30), kWhite) << x;
    }
    // Column 11 holds the reading of the 16 x 32 picture, on its row 30.
    EXPECT_NE(Pixel(icon, 11, 29), kWhite);
    EXPECT_EQ(Pixel(icon, 11, 30), kWhite);
    for (int x : {14, 28}) {
        for (int y = 1; y <= 30; ++y) EXPECT_NE(Pixel(icon, x, y), kWhite) << x << "," << y;
    }
}

TEST_F(RendererTest, BadBackgroundOrGridTextChangesNothing) {
    ASSERT_NE(Draw(50), 0u);
    renderer.FreeLoadIcon();
    const RendererState before = renderer.State();
    const std::size_t iconsMade = sim.world.handles.OpenedTotal(sim::HandleKind::Icon);

    EXPECT_EQ(renderer.RenderLoadIcon(u"orange", u"clTeal", u"clWhite", 90), 0u);
    EXPECT_EQ(renderer.RenderLoadIcon(u"clBlue", u" clTeal", u"clWhite", 90), 0u);

    EXPECT_EQ(renderer.State().LoadHistory, before.LoadHistory);
    EXPECT_EQ(renderer.State().GridPhase, before.GridPhase);
    EXPECT_FALSE(renderer.State().RenderBusy);
    EXPECT_EQ(renderer.LastLoadIcon(), 0u);
    EXPECT_EQ(sim.world.handles.OpenedTotal(sim::HandleKind::Icon), iconsMade);
}

TEST_F(RendererTest, BadBarTextStillMovesTheGraphOnButNotTheGrid) {
    EXPECT_EQ(Draw(50, u"orange"), 0u);
    EXPECT_EQ(Draw(50, u"$1000000000"), 0u);
    EXPECT_EQ(renderer.State().GridPhase, 3);
    EXPECT_EQ(renderer.LastLoadIcon(), 0u);
    EXPECT_EQ(sim.world.handles.OpenedTotal(sim::HandleKind::Icon), 0u);

    // The next good drawing shows the graph one column further per failed call.
    const KHandle icon = Draw(50);
    ASSERT_NE(icon, 0u);
    EXPECT_EQ(Letters(IconOf(icon))[8], "LBBTBBTBBTBWWWWL");
    EXPECT_EQ(renderer.State().GridPhase, 2);
}

TEST_F(RendererTest, FailureToMakeTheIconLeavesTheGridPhase) {
    sim.world.iconCreationFails = true;
    EXPECT_EQ(Draw(50), 0u);
    EXPECT_EQ(renderer.State().GridPhase, 3);
    EXPECT_EQ(renderer.State().LoadHistory[14], 7);
    EXPECT_EQ(renderer.LastLoadIcon(), 0u);
    EXPECT_FALSE(renderer.State().RenderBusy);
}

TEST_F(RendererTest, NoPictureForMetricsOfNothing) {
    SetIconMetrics(0, 16);
    EXPECT_EQ(Draw(50), 0u);
    EXPECT_EQ(renderer.State().LoadHistory, RendererState().LoadHistory);
    EXPECT_EQ(renderer.State().GridPhase, 3);
}

TEST_F(RendererTest, NestedCallReturnsNothingAndChangesNothing) {
    ASSERT_NE(Draw(30), 0u);
    renderer.FreeLoadIcon();
    const RendererState before = renderer.State();

    KHandle nested = 1;
    bool busyInside = false;
    RendererState seenByNested;
    sim.world.onSystemMetrics = [&](int) {
        if (nested != 1) return;  // only the first metric read
        busyInside = renderer.State().RenderBusy;
        nested = renderer.RenderLoadIcon(u"clBlue", u"clTeal", u"clWhite", 90);
        seenByNested = renderer.State();
    };
    const KHandle outer = Draw(50);
    EXPECT_EQ(nested, 0u);
    EXPECT_TRUE(busyInside);
    EXPECT_EQ(seenByNested.LoadHistory, before.LoadHistory);
    EXPECT_EQ(seenByNested.GridPhase, before.GridPhase);
    ASSERT_NE(outer, 0u);
    EXPECT_EQ(renderer.State().LoadHistory[14], 7);  // the outer call's reading, not the nested one's
    EXPECT_FALSE(renderer.State().RenderBusy);
}

TEST_F(RendererTest, PlatformThatRaisesEndsTheDrawingAndClearsTheBusyFlag) {
    sim.world.onSystemMetrics = [](int) { throw std::runtime_error("raised"); };
    EXPECT_EQ(Draw(50), 0u);
    EXPECT_FALSE(renderer.State().RenderBusy);
    sim.world.onSystemMetrics = nullptr;
    EXPECT_NE(Draw(50), 0u);
}

TEST_F(RendererTest, SystemColoursAreTakenAtEveryDrawing) {
    sim.world.sysColors[5] = 0x00112233;   // clWindow
    sim.world.sysColors[13] = 0x00445566;  // clHighlight
    KHandle icon = renderer.RenderLoadIcon(u"clWindow", u"-16777211", u"clHighlight", 50);
    ASSERT_NE(icon, 0u);
    EXPECT_EQ(Pixel(icon, 1, 1), 0x00112233u);
    EXPECT_EQ(Pixel(icon, 3, 1), 0x00112233u);  // the grid in the same system colour
    EXPECT_EQ(Pixel(icon, 14, 14), 0x00445566u);
    renderer.FreeLoadIcon();

    sim.world.sysColors[5] = 0x00778899;
    sim.world.sysColors[13] = 0x00AABBCC;
    icon = renderer.RenderLoadIcon(u"clWindow", u"clWindow", u"clHighlight", 50);
    ASSERT_NE(icon, 0u);
    EXPECT_EQ(Pixel(icon, 1, 1), 0x00778899u);
    EXPECT_EQ(Pixel(icon, 14, 14), 0x00AABBCCu);
    EXPECT_EQ(Pixel(icon, 13, 14), 0x00AABBCCu);  // older bars take the pen's colour of this drawing
}

TEST_F(RendererTest, FlaggedColourReferencesAreDrawnAsTheirColourBytes) {
    const KHandle icon = renderer.RenderLoadIcon(u"clNone", u"clDefault", u"$02123456", 50);
    ASSERT_NE(icon, 0u);
    EXPECT_EQ(Pixel(icon, 1, 1), 0x00FFFFFFu);
    EXPECT_EQ(Pixel(icon, 3, 1), 0x00000000u);
    EXPECT_EQ(Pixel(icon, 14, 14), 0x00123456u);
}

TEST_F(RendererTest, FreeLoadIconReleasesOnceAndToleratesRepeats) {
    renderer.FreeLoadIcon();  // nothing made yet
    ASSERT_NE(Draw(50), 0u);
    EXPECT_EQ(sim.world.handles.OpenCount(sim::HandleKind::Icon), 1u);
    renderer.FreeLoadIcon();
    renderer.FreeLoadIcon();
    EXPECT_EQ(renderer.LastLoadIcon(), 0u);
    EXPECT_EQ(sim.world.handles.OpenCount(sim::HandleKind::Icon), 0u);
    EXPECT_EQ(sim.world.handles.BadCloses(), 0u);
}

TEST_F(RendererTest, IconNotFreedByTheCallerIsReleasedByTheNextDrawing) {
    ASSERT_NE(Draw(50), 0u);
    const KHandle second = Draw(50);
    ASSERT_NE(second, 0u);
    EXPECT_EQ(sim.world.handles.OpenCount(sim::HandleKind::Icon), 1u);
    EXPECT_EQ(renderer.LastLoadIcon(), second);
    renderer.FreeLoadIcon();
    EXPECT_EQ(sim.world.handles.OpenCount(sim::HandleKind::Icon), 0u);
}

}  // namespace
}  // namespace kx
