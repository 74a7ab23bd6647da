// Calendar arithmetic for OLE dates, SYSTEMTIME and FILETIME, all taken as local time.
#include "platform/oletime.h"

#include <cmath>
#include <cstdint>

namespace platform {
namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kTicksPerMs = 10000;  // FILETIME units (100 ns) per millisecond

// Days from 1970-01-01 to the given proleptic Gregorian date (month 1..12, day may run past the
// month's end and then counts on into the next months).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int64_t& year, int& month, int& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

// 1899-12-30 and 1601-01-01 as days from 1970-01-01.
const int64_t kOleEpochDays = DaysFromCivil(1899, 12, 30);
const int64_t kFileEpochDays = DaysFromCivil(1601, 1, 1);

bool FieldsValid(const SYSTEMTIME& t) {
    return t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 && t.wDay <= 31 && t.wHour < 24 &&
           t.wMinute < 60 && t.wSecond < 60 && t.wMilliseconds < 1000;
}

// Milliseconds since 1970-01-01 00:00 for valid fields (day overflow carries).
int64_t LinearMs(const SYSTEMTIME& t) {
    const int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay);
    return days * kMsPerDay +
           ((t.wHour * 60 + t.wMinute) * 60 + t.wSecond) * int64_t{1000} + t.wMilliseconds;
}

// Floor division for a negative-safe split into days and milliseconds of the day.
void SplitMs(int64_t linearMs, int64_t& days, int64_t& msOfDay) {
    days = linearMs / kMsPerDay;
    msOfDay = linearMs % kMsPerDay;
    if (msOfDay < 0) {
        msOfDay += kMsPerDay;
        --days;
    }
}

// Fills `out` from milliseconds since 1970; false when the year does not fit SYSTEMTIME.
bool FromLinearMs(int64_t linearMs, SYSTEMTIME* out) {
    int64_t days, msOfDay;
    SplitMs(linearMs, days, msOfDay);
    int64_t year;
    int month, day;
    CivilFromDays(days, year, month, day);
    if (year < 0 || year > 65535) return false;
    out->wYear = static_cast<uint16_t>(year);
    out->wMonth = static_cast<uint16_t>(month);
    out->wDay = static_cast<uint16_t>(day);
    out->wDayOfWeek = static_cast<uint16_t>(((days % 7) + 11) % 7);  // 1970-01-01: Thursday
    out->wHour = static_cast<uint16_t>(msOfDay / 3600000);
    out->wMinute = static_cast<uint16_t>(msOfDay / 60000 % 60);
    out->wSecond = static_cast<uint16_t>(msOfDay / 1000 % 60);
    out->wMilliseconds = static_cast<uint16_t>(msOfDay % 1000);
    return true;
}

}  // namespace

int DayOfWeek(int year, int month, int day) {
    const int64_t days = DaysFromCivil(year, month, day);
    return static_cast<int>(((days % 7) + 11) % 7);
}

bool VariantTimeToSystemTime(DATE date, SYSTEMTIME* out) {
    if (out == nullptr || !std::isfinite(date)) return false;
    // Years 100..9999, with room for rounding to a millisecond at either end.
    if (date < -657435.0 || date >= 2958466.0) return false;
    const double whole = std::trunc(date);
    const double fraction = std::fabs(date - whole);
    const int64_t days = static_cast<int64_t>(whole);
    const int64_t ms = std::llround(fraction * static_cast<double>(kMsPerDay));
    const int64_t linearMs = (kOleEpochDays + days) * kMsPerDay + ms;
    SYSTEMTIME result;
    if (!FromLinearMs(linearMs, &result)) return false;
    if (result.wYear < 100 || result.wYear > 9999) return false;
    *out = result;
    return true;
}

bool SystemTimeToVariantTime(const SYSTEMTIME* in, DATE* out) {
    if (in == nullptr || out == nullptr) return false;
    if (!FieldsValid(*in) || in->wYear < 100 || in->wYear > 9999) return false;
    const int64_t days = DaysFromCivil(in->wYear, in->wMonth, in->wDay) - kOleEpochDays;
    const int64_t msOfDay = LinearMs(*in) - DaysFromCivil(in->wYear, in->wMonth, in->wDay) * kMsPerDay;
    const double fraction = static_cast<double>(msOfDay) / static_cast<double>(kMsPerDay);
    // Before the epoch the fraction still counts forward from midnight of day `days`.
    *out = days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
    return true;
}

bool SystemTimeToFileTime(const SYSTEMTIME* in, FILETIME* out) {
    if (in == nullptr || out == nullptr) return false;
    if (!FieldsValid(*in) || in->wYear < 1601 || in->wYear > 30827) return false;
    const int64_t ms = LinearMs(*in) - kFileEpochDays * kMsPerDay;
    if (ms < 0) return false;
    const uint64_t ticks = static_cast<uint64_t>(ms) * kTicksPerMs;
    out->dwLowDateTime = static_cast<uint32_t>(ticks);
    out->dwHighDateTime = static_cast<uint32_t>(ticks >> 32);
    return true;
}

bool FileTimeToSystemTime(const FILETIME* in, SYSTEMTIME* out) {
    if (in == nullptr || out == nullptr) return false;
    const uint64_t ticks = (static_cast<uint64_t>(in->dwHighDateTime) << 32) | in->dwLowDateTime;
    if (ticks >= 0x8000000000000000ull) return false;
    const int64_t ms = static_cast<int64_t>(ticks / kTicksPerMs);
    SYSTEMTIME result;
    if (!FromLinearMs(ms + kFileEpochDays * kMsPerDay, &result) || result.wYear > 30827) return false;
    *out = result;
    return true;
}

}  // namespace platform
