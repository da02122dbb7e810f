#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "platform/Failure.h"
#include "sim/SimPlatform.h"
#include "update/UpdateDates.h"
#include "UpdatedDateTexts.h"

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

// A model of the platform's date parser for English (United States), as far
// as the shared table needs it: month/day/year (day and month swapped when the
// month cannot be one, year first when the first number is above 31),
// two-digit years, a month and day alone in the current year, and
// an optional time h:mm[:ss] with AM or PM; any other word is rejected.
// VAR_DATEVALUEONLY drops the time.
long EnglishDateParser(const Text& text, std::uint32_t flags, int currentYear, double* date) {
    constexpr long kTypeMismatch = static_cast<long>(0x80020005L);
    std::vector<Text> words;
    Text word;
    for (char16_t c : text + u" ") {
        if (c == u' ' || c == u',') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    auto numbers = [](const Text& w, char16_t separator, std::vector<int>* out) {
        out->clear();
        int value = -1;
        for (char16_t c : w + separator) {
            if (c == separator) {
                if (value < 0) return false;
                out->push_back(value);
                value = -1;
            } else if (c >= u'0' && c <= u'9') {
                value = (value < 0 ? 0 : value * 10) + (c - u'0');
            } else {
                return false;
            }
        }
        return true;
    };
    double day = 0.0;
    double time = 0.0;
    bool hasTime = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::vector<int> parts;
        if (words[i].find(u'/') != Text::npos) {
            if (!numbers(words[i], u'/', &parts) || parts.size() < 2 || parts.size() > 3) return kTypeMismatch;
            int year = currentYear, month = parts[0], dayOfMonth = parts[1];
            if (parts.size() == 3 && parts[0] > 31) {
                year = parts[0], month = parts[1], dayOfMonth = parts[2];
            } else if (parts.size() == 3) {
                year = parts[2] < 100 ? (parts[2] < 30 ? 2000 + parts[2] : 1900 + parts[2]) : parts[2];
            }
            if (month > 12 && dayOfMonth <= 12) std::swap(month, dayOfMonth);
            const int lengths[] = {31, (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) ? 29 : 28, 31, 30, 31,
                                   30, 31, 31, 30, 31, 30, 31};
            if (month < 1 || month > 12 || dayOfMonth < 1 || dayOfMonth > lengths[month - 1]) return kTypeMismatch;
            sim::SimPlatform civil;  // the days since 1899-12-30 by the simulated clock's calendar
            civil.world.SetLocalTime(SystemTime{static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(month), 0,
                                                static_cast<std::uint16_t>(dayOfMonth), 0, 0, 0, 0});
            day = CurrentMoment(civil.clock);
        } else if (words[i].find(u':') != Text::npos) {
            if (!numbers(words[i], u':', &parts) || parts.size() < 2 || parts.size() > 3) return kTypeMismatch;
            int hour = parts[0];
            const int second = parts.size() == 3 ? parts[2] : 0;
            if (i + 1 < words.size() && (words[i + 1] == u"PM" || words[i + 1] == u"AM")) {
                if (hour < 1 || hour > 12) return kTypeMismatch;
                hour = (hour % 12) + (words[i + 1] == u"PM" ? 12 : 0);
                ++i;
            }
            if (hour > 23 || parts[1] > 59 || second > 59) return kTypeMismatch;
            time = (hour * 3600 + parts[1] * 60 + second) / 86400.0;
            hasTime = true;
        } else {
            return kTypeMismatch;
        }
    }
    if (words.empty()) return kTypeMismatch;
    *date = day + ((flags & kVarDateValueOnly) != 0 || !hasTime ? 0.0 : time);
    return 0;
}

TEST(UpdatedDateTexts, TheScheduleReadsTheSharedTableAsOnWindows) {
    SimPlatform sim;
    sim.world.SetLocalTime(SystemTime{2026, 12, 0, 10, 12, 0, 0, 0});
    sim.world.dateParser = [](const Text& text, std::uint32_t lcid, std::uint32_t flags, double* date) -> long {
        EXPECT_EQ(lcid, kLocaleUserDefault);
        return EnglishDateParser(text, flags, 2026, date);
    };
    for (const tables::UpdatedDateText& row : tables::kUpdatedDateTexts) {
        const std::string name = sim::U8(row.text);
        double parsed = 0.0;
        EXPECT_EQ(EnglishDateParser(row.text, 0, 2026, &parsed) == 0, row.fullParse) << name;
        if (row.read) {
            double moment = 0.0;
            EXPECT_NO_THROW(moment = UpdatedDateToDateTime(row.text, sim.clock)) << name;
            EXPECT_NEAR(moment, row.moment, 1e-9) << name;
        } else {
            EXPECT_THROW(UpdatedDateToDateTime(row.text, sim.clock), Failure) << name;
        }
    }
}

TEST_F(UpdatedDateText, TheDateAloneIsTheTextUpToItsFirstBlankAndNeverATime) {
    Parser(false, true);
    EXPECT_DOUBLE_EQ(UpdatedDateToDateTime(u" 12/31/2021 25:00", sim.clock), 44561.0);
    ASSERT_EQ(parses.size(), 2u);
    EXPECT_EQ(std::get<0>(parses[1]), u"12/31/2021");
    EXPECT_EQ(std::get<2>(parses[1]), kVarDateValueOnly);
    // A text whose first word is a time has no date to read alone.
    parses.clear();
    EXPECT_THROW(UpdatedDateToDateTime(u"25:00 12/31/2021", sim.clock), Failure);
    EXPECT_EQ(parses.size(), 1u);
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
