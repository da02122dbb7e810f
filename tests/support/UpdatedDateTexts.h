// UpdatedDate texts in the regional form and what the update schedule makes
// of them with the English (United States) date format: the table the Wine
// test runs against the platform's own date parser, and the host tests
// against the simulated one.
#pragma once

namespace kx::tables {

struct UpdatedDateText {
    const char16_t* text;
    bool fullParse;  // the date-and-time parse accepts it
    bool read;       // the text is read at all (else the tick is abandoned)
    double moment;   // what it is read as
};

inline constexpr UpdatedDateText kUpdatedDateTexts[] = {
    {u"12/31/2021", true, true, 44561.0},
    {u"12/31/2021 10:30", true, true, 44561.4375},
    {u"12/31/2021 10:30:15 PM", true, true, 44561.0 + (22 * 3600 + 30 * 60 + 15) / 86400.0},
    {u" 12/31/2021 ", true, true, 44561.0},
    {u"31/12/2021", true, true, 44561.0},  // no month 31: day and month are swapped
    {u"10:30", true, true, 0.4375},        // a time alone lies on day 0
    // Rejected whole, read from the date alone:
    {u"12/31/2021 25:00", false, true, 44561.0},
    {u"12/31/2021 10:61", false, true, 44561.0},
    {u"12/31/2021 10:30 xyz", false, true, 44561.0},
    // Rejected by both readings:
    {u"12/31/2021T10:30", false, false, 0.0},
    {u"2/30/2021", false, false, 0.0},
    {u"2/30/2021 10:00", false, false, 0.0},
    {u"13/13/2021", false, false, 0.0},
};

}  // namespace kx::tables
