// CDate: the support library's point in time.
//
// One signed 64-bit count of 100-nanosecond intervals since 1 January 1601 (the FILETIME layout),
// holding local time; no time zone is stored. -1 is the null date, and 0 also counts as null.
// Wherever fields or text are taken from a null date it shows as 1 January 2000 00:00:00.
// CDate is a plain value, copied freely.
//
// Thread-safety: a CDate itself is a plain value, but ToSystemTime(), ToTm() and FormatStatic()
// return program-wide areas that the next call on any thread overwrites.
#pragma once

#include <compare>
#include <cstdint>
#include <ctime>

#include "platform/wintypes.h"

class CDate {
public:
    static constexpr int64_t FileTime2Seconds = 10000000;
    static constexpr int64_t FileTime2MilliSeconds = 10000;
    static constexpr int64_t FileTime2MicroSeconds = 10;
    static constexpr int64_t FileTime2TimeOffset = 116444736000000000LL;  // 1970-01-01 00:00:00
    static constexpr int64_t NullDate = -1;
    static constexpr int kFormatStaticSize = 160;  // bytes of the FormatStatic() area

    CDate() = default;                                // null
    explicit CDate(DATE oleDate) { FromOleDate(oleDate); }

    // The raw count (100 ns since 1601-01-01, local time).
    int64_t Value() const { return value_; }
    void SetValue(int64_t value) { value_ = value; }
    static CDate FromValue(int64_t value) { CDate d; d.value_ = value; return d; }

    // OLE Automation date (days since 30 December 1899). Above 0 it is converted; 0, below 0 or
    // out of the system conversion's range give null.
    void FromOleDate(DATE oleDate);
    // 0.0 for null (and 0); otherwise the OLE Automation date.
    DATE ToOleDate() const;

    // C library broken-down time: tm_sec, tm_min, tm_hour, tm_mday, tm_mon + 1, tm_year + 1900;
    // milliseconds 0. A time the system conversion rejects gives null.
    void FromTm(const struct tm& time);
    // Into one program-wide struct tm (valid until the next call). Null: 2000-01-01 00:00:00,
    // day of week 6 (Saturday), every other field 0.
    struct tm* ToTm() const;

    // Sets the date to the computer's local time; returns a copy.
    CDate SetNow();
    // Sets the computer's local time (process-wide offset, see platform/clock.h) to this date;
    // returns a copy.
    CDate SetSystemClock() const;

    void SetNull() { value_ = NullDate; }
    bool IsNull() const { return value_ == NullDate || value_ == 0; }

    // Milliseconds from the date to now. A null date is first set to now and gives 0.
    int64_t ElapsedMs();
    int64_t ElapsedSeconds() { return ElapsedMs() / 1000; }

    // The date as a SYSTEMTIME in one program-wide record (valid until the next call). A date not
    // above 0 gives 2000-01-01 00:00:00.000, a Saturday.
    const SYSTEMTIME& ToSystemTime() const;
    int Year() const { return ToSystemTime().wYear; }
    int Month() const { return ToSystemTime().wMonth; }
    int Day() const { return ToSystemTime().wDay; }
    int Hour() const { return ToSystemTime().wHour; }
    int Minute() const { return ToSystemTime().wMinute; }
    int Second() const { return ToSystemTime().wSecond; }

    // Year, month, day, hour, minute and second equal (milliseconds ignored).
    bool SameSecond(const CDate& other) const;

    // The date as narrow text in `out`, at most `size` bytes including the terminator (longer text
    // is cut; nothing is written when size < 1). Returns out, or "Null date" when out is null.
    // Pictures are the Windows picture language (platform/locale_format.h): a null picture means
    // the locale's default, an empty one leaves that part out; date and time are joined by one
    // space when both are present.
    //   Format(buf, sizeof buf, u"dd'/'MM'/'yyyy", u"HH':'mm':'ss")   // "17/05/2023 08:05:09"
    const char* Format(char* out, int size, const char16_t* dateFormat,
                       const char16_t* timeFormat) const;
    // Format() into one program-wide 160-byte area (valid until the next call).
    const char* FormatStatic(const char16_t* dateFormat = nullptr,
                             const char16_t* timeFormat = nullptr) const;

    // "yyyy-mm-dd hh:mm:ss" or "yyyy/mm/dd hh:mm:ss" (at least 19 characters; more are ignored).
    // Year >= 1900, month 1..12, day 1..31 (not checked against the month: 2023-02-30 carries
    // into March), hour 0..23, minute and second 0..59. True and the date set, or false and the
    // date unchanged.
    bool Parse(const char* text);

    // Astronomical Julian date of the local date and time; 0.0 for null.
    //   2000-01-01 00:00 -> 2451544.5
    double ToJulian() const;
    // The inverse, to the nearest millisecond. A value outside the system range gives null.
    void FromJulian(double jd);

    // The local time's offset from UTC in 100 ns units (east positive), computed once.
    static int64_t TimeZoneOffset();

    friend bool operator==(const CDate&, const CDate&) = default;
    friend auto operator<=>(const CDate&, const CDate&) = default;

private:
    int64_t value_ = NullDate;
};
