// Conversions between OLE Automation dates, SYSTEMTIME and FILETIME, on plain calendar arithmetic
// (proleptic Gregorian, no time zone: every value is taken as local time).
#pragma once

#include "platform/wintypes.h"

namespace platform {

// 0 is 30 December 1899 00:00; 1.5 is 31 December 1899 12:00; -1.25 is 29 December 1899 06:00
// (the fraction counts forward from midnight also for negative dates, as in OLE Automation).
// Rounds to the nearest millisecond. Fails (false) outside years 100..9999.
bool VariantTimeToSystemTime(DATE date, SYSTEMTIME* out);

// The inverse; the day of week is ignored. Fails for fields out of range
// (month 1..12, day 1..31, hour < 24, minute < 60, second < 60, ms < 1000, year 100..9999).
bool SystemTimeToVariantTime(const SYSTEMTIME* in, DATE* out);

// SYSTEMTIME <-> FILETIME (100 ns since 1601-01-01). A day beyond the month's length carries into
// the next month (31 April is 1 May). FileTimeToSystemTime fills the day of week.
bool SystemTimeToFileTime(const SYSTEMTIME* in, FILETIME* out);
bool FileTimeToSystemTime(const FILETIME* in, SYSTEMTIME* out);

// 0 = Sunday, for a valid Gregorian date.
int DayOfWeek(int year, int month, int day);

}  // namespace platform
