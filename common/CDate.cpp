// CDate: local time as a FILETIME count. See CDate.h.

#include "common/CDate.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/clock.h"
#include "platform/locale_format.h"
#include "platform/oletime.h"
#include "platform/text.h"

namespace {

constexpr int kPartSize = 80;  // wide units for each of the date and the time part

SYSTEMTIME g_systemTime;
struct tm g_tm;
char g_formatArea[CDate::kFormatStaticSize];

SYSTEMTIME NullSystemTime() {
    SYSTEMTIME st{};
    st.wYear = 2000;
    st.wMonth = 1;
    st.wDay = 1;
    st.wDayOfWeek = 6;
    return st;
}

bool ToCount(const SYSTEMTIME& st, int64_t* out) {
    FILETIME ft;
    if (!platform::SystemTimeToFileTime(&st, &ft)) return false;
    *out = static_cast<int64_t>((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    return true;
}

// atoi without its undefined overflow: leading white space, an optional sign, digits; values
// beyond int saturate.
int ReadInt(const char* text) {
    errno = 0;
    long v = std::strtol(text, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return int(v);
}

// Month offsets of the day count, months 1..12.
constexpr int kMonthK[12] = {0, -31, 306, 275, 245, 214, 184, 153, 122, 92, 61, 31};

int64_t DayBase(int64_t y) { return (y / 100) * 146097 / 4 + (y % 100) * 1461 / 4; }

}  // namespace

void CDate::FromOleDate(DATE oleDate) {
    value_ = NullDate;
    if (!(oleDate > 0.0)) return;
    SYSTEMTIME st;
    if (!platform::VariantTimeToSystemTime(oleDate, &st)) return;
    int64_t count;
    if (ToCount(st, &count)) value_ = count;
}

DATE CDate::ToOleDate() const {
    if (IsNull()) return 0.0;
    DATE date = 0.0;
    if (!platform::SystemTimeToVariantTime(&ToSystemTime(), &date)) return 0.0;
    return date;
}

void CDate::FromTm(const struct tm& time) {
    SYSTEMTIME st{};
    st.wSecond = uint16_t(time.tm_sec);
    st.wMinute = uint16_t(time.tm_min);
    st.wHour = uint16_t(time.tm_hour);
    st.wDay = uint16_t(time.tm_mday);
    st.wMonth = uint16_t(time.tm_mon + 1);
    st.wYear = uint16_t(time.tm_year + 1900);
    st.wDayOfWeek = uint16_t(time.tm_wday);
    st.wMilliseconds = 0;
    int64_t count;
    value_ = ToCount(st, &count) ? count : NullDate;
}

struct tm* CDate::ToTm() const {
    const SYSTEMTIME& st = ToSystemTime();
    std::memset(&g_tm, 0, sizeof g_tm);
    g_tm.tm_sec = st.wSecond;
    g_tm.tm_min = st.wMinute;
    g_tm.tm_hour = st.wHour;
    g_tm.tm_mday = st.wDay;
    g_tm.tm_mon = st.wMonth - 1;
    g_tm.tm_year = st.wYear - 1900;
    g_tm.tm_wday = st.wDayOfWeek;
    if (value_ > 0) {
        static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
        int y = st.wYear;
        bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        g_tm.tm_yday = before[st.wMonth - 1] + st.wDay - 1 + (leap && st.wMonth > 2 ? 1 : 0);
    }
    return &g_tm;
}

CDate CDate::SetNow() {
    SYSTEMTIME st;
    platform::GetLocalTime(&st);
    int64_t count;
    if (ToCount(st, &count)) value_ = count;
    return *this;
}

CDate CDate::SetSystemClock() const {
    platform::SetLocalTime(&ToSystemTime());
    return *this;
}

int64_t CDate::ElapsedMs() {
    if (IsNull()) {
        SetNow();
        return 0;
    }
    CDate now;
    now.SetNow();
    return (now.value_ - value_) / FileTime2MilliSeconds;
}

const SYSTEMTIME& CDate::ToSystemTime() const {
    if (value_ > 0) {
        FILETIME ft;
        ft.dwLowDateTime = uint32_t(uint64_t(value_) & 0xFFFFFFFFu);
        ft.dwHighDateTime = uint32_t(uint64_t(value_) >> 32);
        if (platform::FileTimeToSystemTime(&ft, &g_systemTime)) return g_systemTime;
    }
    g_systemTime = NullSystemTime();
    return g_systemTime;
}

bool CDate::SameSecond(const CDate& other) const {
    SYSTEMTIME a = ToSystemTime();
    const SYSTEMTIME& b = other.ToSystemTime();
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

const char* CDate::Format(char* out, int size, const char16_t* dateFormat,
                          const char16_t* timeFormat) const {
    if (out == nullptr) return "Null date";
    if (size < 1) return out;
    SYSTEMTIME st = ToSystemTime();

    char16_t datePart[kPartSize];
    char16_t timePart[kPartSize];
    datePart[0] = 0;
    timePart[0] = 0;
    if (dateFormat == nullptr || dateFormat[0] != 0) {
        if (platform::GetDateFormatW(&st, dateFormat, datePart, kPartSize) == 0) datePart[0] = 0;
    }
    if (timeFormat == nullptr || timeFormat[0] != 0) {
        if (platform::GetTimeFormatW(&st, timeFormat, timePart, kPartSize) == 0) timePart[0] = 0;
    }
    std::u16string text = datePart;
    if (datePart[0] != 0 && timePart[0] != 0) text += u' ';
    text += timePart;

    // Wide to multibyte, one character at a time, stopping before the text would pass size - 1
    // bytes. A character the locale cannot express becomes '?'.
    std::wstring wide = platform::ToWide(text);
    std::mbstate_t state{};
    int used = 0;
    for (wchar_t wc : wide) {
        char bytes[MB_LEN_MAX];
        size_t n = std::wcrtomb(bytes, wc, &state);
        if (n == size_t(-1)) {
            state = std::mbstate_t{};
            bytes[0] = '?';
            n = 1;
        }
        if (used + int(n) > size - 1) break;
        std::memcpy(out + used, bytes, n);
        used += int(n);
    }
    out[used] = 0;
    return out;
}

const char* CDate::FormatStatic(const char16_t* dateFormat, const char16_t* timeFormat) const {
    return Format(g_formatArea, int(sizeof g_formatArea), dateFormat, timeFormat);
}

bool CDate::Parse(const char* text) {
    if (text == nullptr || std::strlen(text) < 19) return false;
    auto isSep = [](char c) { return c == '-' || c == '/'; };
    if (!isSep(text[4]) || !isSep(text[7]) || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':') {
        return false;
    }
    int year = ReadInt(text);
    int month = ReadInt(text + 5);
    int day = ReadInt(text + 8);
    int hour = ReadInt(text + 11);
    int minute = ReadInt(text + 14);
    int second = ReadInt(text + 17);
    if (year < 1900 || year > 65535 || month < 1 || month > 12 || day < 1 || day > 31 ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        return false;
    }
    SYSTEMTIME st{};
    st.wYear = uint16_t(year);
    st.wMonth = uint16_t(month);
    st.wDay = uint16_t(day);
    st.wHour = uint16_t(hour);
    st.wMinute = uint16_t(minute);
    st.wSecond = uint16_t(second);
    int64_t count;
    if (!ToCount(st, &count)) return false;
    value_ = count;
    return true;
}

double CDate::ToJulian() const {
    if (IsNull()) return 0.0;
    const SYSTEMTIME& st = ToSystemTime();
    int64_t y = st.wYear;
    int m = st.wMonth;
    if (m <= 2) --y;
    int64_t days = DayBase(y) - kMonthK[m - 1] + st.wDay;
    return double(days) + st.wHour / 24.0 + st.wMinute / 1440.0 + st.wSecond / 86400.0 +
           st.wMilliseconds / 86400000.0 + 1721424.5;
}

void CDate::FromJulian(double jd) {
    value_ = NullDate;
    double x = jd - 1721424.5;
    // Day counts of the years the system conversion can hold, with room either side.
    if (!(x > 0.0 && x < 4.0e6)) return;
    double whole = std::floor(x);
    int64_t days = int64_t(whole);
    int64_t ms = int64_t(std::floor((x - whole) * 86400000.0 + 0.5));
    if (ms >= 86400000) {
        ms -= 86400000;
        ++days;
    }
    // Year starting in March: the largest y whose 1 March (day count DayBase(y) - 305) is not
    // after the day.
    int64_t y = int64_t(double(days) / 365.2425);
    while (y > 0 && DayBase(y) - 305 > days) --y;
    while (DayBase(y + 1) - 305 <= days) ++y;
    int offset = int(days - (DayBase(y) - 305));  // 0 = 1 March
    static const int monthStart[12] = {0, 31, 61, 92, 122, 153, 184, 214, 245, 275, 306, 337};
    int mi = 11;
    while (monthStart[mi] > offset) --mi;
    int month = mi < 10 ? mi + 3 : mi - 9;
    int64_t year = mi < 10 ? y : y + 1;
    if (year < 1 || year > 65535) return;

    SYSTEMTIME st{};
    st.wYear = uint16_t(year);
    st.wMonth = uint16_t(month);
    st.wDay = uint16_t(offset - monthStart[mi] + 1);
    st.wHour = uint16_t(ms / 3600000);
    st.wMinute = uint16_t(ms / 60000 % 60);
    st.wSecond = uint16_t(ms / 1000 % 60);
    st.wMilliseconds = uint16_t(ms % 1000);
    int64_t count;
    if (ToCount(st, &count)) value_ = count;
}

int64_t CDate::TimeZoneOffset() {
    static const int64_t offset = [] {
        const time_t instant = 1699000000;
        struct tm utc;
        if (gmtime_r(&instant, &utc) == nullptr) return int64_t(0);
        utc.tm_isdst = -1;
        time_t local = mktime(&utc);
        if (local == time_t(-1)) return int64_t(0);
        return int64_t(instant - local) * FileTime2Seconds;
    }();
    return offset;
}
