#include "update/UpdateDates.h"

#include <cmath>
#include <limits>

#include "platform/Failure.h"
#include "config/StoredValues.h"
#include "config/TextRules.h"

namespace kx {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr std::int64_t kMillisecondsPerDay = 86400000;
// OLE dates run from year 100 to year 9999; a little room either side.
constexpr double kMomentLimit = 3.0e6;

// Days from 1970-01-01 to a civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// Nearest whole number, ties to the even one, whatever the FPU's rounding mode.
double RoundHalfEven(double value) {
    const double lower = std::floor(value);
    const double rest = value - lower;
    if (rest > 0.5) return lower + 1.0;
    if (rest < 0.5) return lower;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

// SUCCEEDED for an HRESULT carried in a long, which is 64 bits wide on some hosts.
bool Succeeded(long result) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<unsigned long>(result))) >= 0;
}

// The date a date-time text begins with: the text up to its first blank
// (codes 0 to 32), blanks around it ignored; empty when that part holds a
// time (":"), so that no time is ever read as a date.
Text LeadingDate(const Text& text) {
    const Text trimmed = Trim(text);
    std::size_t end = 0;
    while (end < trimmed.size() && trimmed[end] > u' ') ++end;
    const Text date = trimmed.substr(0, end);
    return date.find(u':') == Text::npos ? date : Text();
}

}  // namespace

double CurrentMoment(IClock& clock) {
    SystemTime now;
    clock.GetLocalTime(&now);
    const std::int64_t days = DaysFromCivil(now.wYear, now.wMonth, now.wDay) + static_cast<std::int64_t>(kUnixEpochMoment);
    const double milliseconds =
        ((now.wHour * 60.0 + now.wMinute) * 60.0 + now.wSecond) * 1000.0 + now.wMilliseconds;
    return static_cast<double>(days) + milliseconds / static_cast<double>(kMillisecondsPerDay);
}

std::int32_t DateTimeToLocalSeconds(double moment) {
    const double seconds = RoundHalfEven((moment - kUnixEpochMoment) * kSecondsPerDay);
    // Not finite, or beyond what a 64-bit integer holds: no seconds to reduce.
    if (!(seconds > -9.2e18 && seconds < 9.2e18)) return 0;
    const auto wide = static_cast<std::int64_t>(seconds);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(wide)));
}

double LocalSecondsToDateTime(std::int32_t seconds) { return seconds / kSecondsPerDay + kUnixEpochMoment; }

double UpdatedDateToDateTime(const Text& text, IClock& clock) {
    if (IsRegionalDateText(text)) {
        double moment = 0.0;
        if (Succeeded(clock.VarDateFromStr(text, kLocaleUserDefault, 0, &moment))) return moment;
        // VAR_DATEVALUEONLY only drops the time from what the parser accepts;
        // a text it rejects whole is read again from its date alone.
        const Text date = LeadingDate(text);
        if (!date.empty() && Succeeded(clock.VarDateFromStr(date, kLocaleUserDefault, kVarDateValueOnly, &moment))) {
            return moment;
        }
        throw Failure("UpdatedDate is no date-time the regional format accepts");
    }
    std::int32_t seconds = 0;
    if (!ParseLocalSecondsText(text, &seconds)) throw Failure("UpdatedDate is no whole number of seconds");
    return LocalSecondsToDateTime(seconds);
}

std::int64_t MomentToMilliseconds(double moment) {
    if (!(moment > -kMomentLimit && moment < kMomentLimit)) throw Failure("moment out of range");
    // Before day 0 the integral part counts days back and the fraction still
    // runs forward through that day.
    const double day = std::trunc(moment);
    const double linear = moment < 0.0 ? day + std::fabs(moment - day) : moment;
    return static_cast<std::int64_t>(std::llround(linear * static_cast<double>(kMillisecondsPerDay)));
}

std::int64_t WholeDaysBetween(double a, double b) {
    const std::int64_t difference = MomentToMilliseconds(a) - MomentToMilliseconds(b);
    return (difference < 0 ? -difference : difference) / kMillisecondsPerDay;
}

}  // namespace kx
