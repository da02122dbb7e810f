// Moments of the update schedule and their conversions.
//
// A moment is a count of days since 1899-12-30 00:00 local time, the fraction
// being the time of day (the OLE DATE the platform's date parser yields);
// day 25569 is 1970-01-01. UpdatedDate stores either whole seconds since
// 1970-01-01 00:00 local time or a date-time text in the user's regional format.
#pragma once

#include <cstdint>

#include "platform/ClockApi.h"
#include "platform/Types.h"

namespace kx {

constexpr double kUnixEpochMoment = 25569.0;
constexpr std::uint32_t kLocaleUserDefault = 0x0400;
constexpr std::uint32_t kVarDateValueOnly = 0x2;

// The current local moment, from GetLocalTime.
double CurrentMoment(IClock& clock);

// (moment - 25569) * 86400 rounded to the nearest whole number, ties to even,
// reduced to its low 32 bits. A moment that is not a finite number, or whose
// seconds do not even fit 64 bits, gives 0.
std::int32_t DateTimeToLocalSeconds(double moment);

// seconds / 86400 + 25569. Every 32-bit count of seconds has a moment, so this
// cannot fail.
double LocalSecondsToDateTime(std::int32_t seconds);

// The moment an UpdatedDate text stands for. A text holding ":" or "/" is a
// regional date-time (VarDateFromStr for LOCALE_USER_DEFAULT; when that
// rejects it, the date it begins with, up to its first blank, read alone);
// any other text must be a signed 32-bit decimal count of seconds.
// Throws Failure for a text that is neither.
double UpdatedDateToDateTime(const Text& text, IClock& clock);

// A moment as a linear count of milliseconds since 1899-12-30 00:00, rounded
// to the nearest millisecond. Moments before 1899-12-30 carry their time of
// day as a positive fraction after a negative day (-1.25 is 1899-12-29 06:00),
// which this unfolds. Throws Failure for a moment that is not a finite number
// within the platform's date range.
std::int64_t MomentToMilliseconds(double moment);

// Whole days between two moments: the absolute difference in whole
// milliseconds divided by 86400000, truncated. Throws as MomentToMilliseconds.
std::int64_t WholeDaysBetween(double a, double b);

}  // namespace kx
