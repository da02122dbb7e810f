#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "config/Failure.h"
#include "sim/SimPlatform.h"
#include "update/UpdateDates.h"

namespace kx {
namespace {

using sim::SimPlatform;

TEST(DateTimeToLocalSeconds, RoundsTiesToEvenAndKeepsTheLow32Bits) {
    struct Case {
        double moment;
        std::int32_t seconds;
    };
    // 86400 / 256 = 337.5 exactly, which gives true ties.
    const Case cases[] = {
        {25569.0, 0},
        {25570.5, 129600},
        {25569.0 + 1.0 / 256, 338},              // 337.5
        {25569.0 + 3.0 / 256, 1012},             // 1012.5
        {25569.0 - 1.0 / 256, -338},             // -337.5
        {25569.0 + 0.4 / 86400, 0},
        {25569.0 + 0.6 / 86400, 1},
        {LocalSecondsToDateTime(1654084799), 1654084799},  // the inexact fraction comes back whole
        {50424.134814814815, -2147483648},      // 2038-01-19 03:14:08 is 2^31 seconds: it wraps
        {50424.134814814815 + 1.0, -2147397248},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DateTimeToLocalSeconds(c.moment), c.seconds) << std::to_string(c.moment);
    }
}

TEST(DateTimeToLocalSeconds, GivesZeroForMomentsWithoutSeconds) {
    for (double moment : {std::nan(""), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(), 1e300, -1e300}) {
        EXPECT_EQ(DateTimeToLocalSeconds(moment), 0) << moment;
    }
}

TEST(LocalSecondsToDateTime, RoundTripsEvery32BitCount) {
    EXPECT_DOUBLE_EQ(LocalSecondsToDateTime(0), 25569.0);
    EXPECT_DOUBLE_EQ(LocalSecondsToDateTime(-86400), 25568.0);
    for (std::int32_t seconds : {std::numeric_limits<std::int32_t>::min(), -1, 1, 43199, 1654084800,
                                 std::numeric_limits<std::int32_t>::max()}) {
        EXPECT_EQ(DateTimeToLocalSeconds(LocalSecondsToDateTime(seconds)), seconds);
    }
}

TEST(CurrentMoment, IsTheLocalTimeOfTheClock) {
    SimPlatform sim;
    sim.world.localOffset100ns = 3LL * 3600 * 10000000;  // three hours east of UTC
    sim.world.SetLocalTime(SystemTime{2022, 6, 0, 1, 18, 0, 0, 0});
    EXPECT_DOUBLE_EQ(CurrentMoment(sim.clock), 44713.75);
    sim.world.SetLocalTime(SystemTime{1970, 1, 0, 1, 0, 0, 0, 0});
    EXPECT_DOUBLE_EQ(CurrentMoment(sim.clock), 25569.0);
}

class UpdatedDateText : public ::testing::Test {
protected:
    SimPlatform sim;
    std::vector<std::tuple<Text, std::uint32_t, std::uint32_t>> parses;  // text, lcid, flags

    // A parser that takes full date-times only when accepts says so, and
    // dates alone when acceptsDateOnly says so.
    void Parser(bool accepts, bool acceptsDateOnly) {
        sim.world.dateParser = [this, accepts, acceptsDateOnly](const Text& text, std::uint32_t lcid,
                                                                std::uint32_t flags, double* date) -> long {
            parses.emplace_back(text, lcid, flags);
            const bool dateOnly = (flags & kVarDateValueOnly) != 0;
            if (dateOnly ? !acceptsDateOnly : !accepts) return static_cast<long>(0x80020005L);
            *date = dateOnly ? 44561.0 : 44561.5;
            return 0;
        };
    }
};

TEST_F(UpdatedDateText, WholeNumbersAreLocalSeconds) {
    Parser(true, true);
    struct Case {
        const char16_t* text;
        double moment;
    };
    const Case cases[] = {
        {u"0", 25569.0},
        {u"86400", 25570.0},
        {u"+86400", 25570.0},
        {u"-86400", 25568.0},
        {u"2147483647", LocalSecondsToDateTime(2147483647)},
        {u"-2147483648", LocalSecondsToDateTime(-2147483647 - 1)},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(UpdatedDateToDateTime(c.text, sim.clock), c.moment) << sim::U8(c.text);
    }
    EXPECT_TRUE(parses.empty()) << "a whole number never goes to the date parser";
}

TEST_F(UpdatedDateText, TextThatIsNoWholeNumberFails) {
    Parser(true, true);
    for (const char16_t* text : {u"31.12.2021", u"soon", u"", u"-", u"+", u"12a", u" 5", u"5 ", u"2147483648",
                                 u"-2147483649", u"99999999999999999999", u"1e5", u"0x10"}) {
        EXPECT_THROW(UpdatedDateToDateTime(text, sim.clock), Failure) << sim::U8(text);
    }
    EXPECT_TRUE(parses.empty());
}

TEST_F(UpdatedDateText, ColonOrSlashGoesToTheRegionalParser) {
    Parser(true, true);
    EXPECT_DOUBLE_EQ(UpdatedDateToDateTime(u"12/31/2021 12:00", sim.clock), 44561.5);
    EXPECT_DOUBLE_EQ(UpdatedDateToDateTime(u"12:00", sim.clock), 44561.5);
    EXPECT_DOUBLE_EQ(UpdatedDateToDateTime(u"31/12/2021", sim.clock), 44561.5);
    ASSERT_EQ(parses.size(), 3u);
    for (const auto& [text, lcid, flags] : parses) {
        EXPECT_EQ(lcid, kLocaleUserDefault);
        EXPECT_EQ(flags, 0u);
    }
}

TEST_F(UpdatedDateText, RejectedDateTimeIsTriedAsADateAlone) {
    Parser(false, true);
    EXPECT_DOUBLE_EQ(UpdatedDateToDateTime(u"31/12/2021", sim.clock), 44561.0);
    ASSERT_EQ(parses.size(), 2u);
    EXPECT_EQ(std::get<2>(parses[0]), 0u);
    EXPECT_EQ(std::get<2>(parses[1]), kVarDateValueOnly);
    EXPECT_EQ(std::get<1>(parses[1]), kLocaleUserDefault);
}

TEST_F(UpdatedDateText, TextBothParsesRejectFails) {
    Parser(false, false);
    EXPECT_THROW(UpdatedDateToDateTime(u"13/45/2021", sim.clock), Failure);
    EXPECT_EQ(parses.size(), 2u);
}

TEST(WholeDaysBetween, TruncatesTheAbsoluteDifference) {
    const double now = 44713.5;
    const double hour = 1.0 / 24;
    struct Case {
        double then;
        std::int64_t days;
    };
    const Case cases[] = {
        {now, 0},
        {now - 45 - 23 * hour, 45},
        {now - 46 + 2.0 / 86400000, 45},  // two milliseconds short
        {now - 46, 46},
        {now + 50, 50},  // the future counts like the past
        {now + 45 + 23 * hour, 45},
        {now - 60, 60},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WholeDaysBetween(now, c.then), c.days) << c.then;
        EXPECT_EQ(WholeDaysBetween(c.then, now), c.days) << c.then;
    }
}

TEST(WholeDaysBetween, UnfoldsMomentsBeforeDayZero) {
    // -1.25 is 1899-12-29 06:00, 18 hours before day 0 and 48 hours before 1.25.
    EXPECT_EQ(MomentToMilliseconds(-1.25), -18LL * 3600000);
    EXPECT_EQ(WholeDaysBetween(-1.25, 0.0), 0);
    EXPECT_EQ(WholeDaysBetween(-1.25, 1.25), 2);
    EXPECT_EQ(WholeDaysBetween(-2.75, -1.25), 0);  // 1899-12-28 18:00 to 1899-12-29 06:00
}

TEST(WholeDaysBetween, RejectsMomentsOutsideTheDateRange) {
    EXPECT_THROW(WholeDaysBetween(std::nan(""), 1.0), Failure);
    EXPECT_THROW(WholeDaysBetween(1.0, 1e300), Failure);
}

}  // namespace
}  // namespace kx
