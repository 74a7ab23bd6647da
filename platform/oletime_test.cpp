#include "platform/oletime.h"

#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace platform {
namespace {

SYSTEMTIME Make(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    SYSTEMTIME t{};
    t.wYear = static_cast<uint16_t>(y);
    t.wMonth = static_cast<uint16_t>(mo);
    t.wDay = static_cast<uint16_t>(d);
    t.wHour = static_cast<uint16_t>(h);
    t.wMinute = static_cast<uint16_t>(mi);
    t.wSecond = static_cast<uint16_t>(s);
    t.wMilliseconds = static_cast<uint16_t>(ms);
    return t;
}

std::string Show(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

constexpr double kMs = 1.0 / 86400000.0;

TEST(OleTime, DatesBothWays) {
    struct Case {
        DATE date;
        const char* shown;
        int dayOfWeek;
    };
    const Case cases[] = {
        {0.0, "1899-12-30 00:00:00.000", 6},
        {1.5, "1899-12-31 12:00:00.000", 0},
        {-1.25, "1899-12-29 06:00:00.000", 5},
        {-2.75, "1899-12-28 18:00:00.000", 4},
        {2.0, "1900-01-01 00:00:00.000", 1},
        {36526.0, "2000-01-01 00:00:00.000", 6},
        {45000.5 + kMs, "2023-03-15 12:00:00.001", 3},
        {-657434.0, "0100-01-01 00:00:00.000", 5},
        {2958465.0 + 86399999 * kMs, "9999-12-31 23:59:59.999", 5},
    };
    for (const Case& c : cases) {
        SYSTEMTIME t{};
        ASSERT_TRUE(VariantTimeToSystemTime(c.date, &t)) << c.date;
        EXPECT_EQ(Show(t), c.shown) << c.date;
        EXPECT_EQ(t.wDayOfWeek, c.dayOfWeek) << c.date;
        DATE back = 0;
        ASSERT_TRUE(SystemTimeToVariantTime(&t, &back)) << c.shown;
        EXPECT_NEAR(back, c.date, 1e-9) << c.shown;
    }
}

TEST(OleTime, NegativeFractionAndRounding) {
    SYSTEMTIME t{};
    // -0.5 and 0.5 are the same instant: the fraction counts forward from the day's midnight.
    ASSERT_TRUE(VariantTimeToSystemTime(-0.5, &t));
    EXPECT_EQ(Show(t), "1899-12-30 12:00:00.000");
    // Rounding to the nearest millisecond carries into the next day, also before the epoch.
    ASSERT_TRUE(VariantTimeToSystemTime(1.0 + 0.9999999999, &t));
    EXPECT_EQ(Show(t), "1900-01-01 00:00:00.000");
    ASSERT_TRUE(VariantTimeToSystemTime(-1.9999999999, &t));
    EXPECT_EQ(Show(t), "1899-12-30 00:00:00.000");
    ASSERT_TRUE(VariantTimeToSystemTime(1.0 + 0.4 * kMs, &t));
    EXPECT_EQ(Show(t), "1899-12-31 00:00:00.000");
    ASSERT_TRUE(VariantTimeToSystemTime(1.0 + 0.6 * kMs, &t));
    EXPECT_EQ(Show(t), "1899-12-31 00:00:00.001");
}

TEST(OleTime, OutOfRange) {
    SYSTEMTIME t{};
    const DATE badDates[] = {-657435.0, 2958466.0, 1e300, -1e300, NAN, INFINITY};
    for (DATE date : badDates) EXPECT_FALSE(VariantTimeToSystemTime(date, &t)) << date;
    EXPECT_FALSE(VariantTimeToSystemTime(0.0, nullptr));

    const SYSTEMTIME badTimes[] = {Make(2023, 13, 1), Make(2023, 0, 1), Make(2023, 1, 0),
                                   Make(2023, 1, 32), Make(2023, 1, 1, 24), Make(2023, 1, 1, 0, 60),
                                   Make(2023, 1, 1, 0, 0, 60), Make(2023, 1, 1, 0, 0, 0, 1000),
                                   Make(99, 12, 31), Make(10000, 1, 1)};
    for (const SYSTEMTIME& bad : badTimes) {
        DATE date = 0;
        FILETIME file{};
        EXPECT_FALSE(SystemTimeToVariantTime(&bad, &date)) << Show(bad);
        if (bad.wYear < 10000) {  // FILETIME reaches to 30827
            EXPECT_FALSE(SystemTimeToFileTime(&bad, &file)) << Show(bad);
        }
    }
    const SYSTEMTIME before1601 = Make(1600, 12, 31);
    FILETIME file{};
    EXPECT_FALSE(SystemTimeToFileTime(&before1601, &file));
    const FILETIME highBit{0, 0x80000000u};
    EXPECT_FALSE(FileTimeToSystemTime(&highBit, &t));
}

uint64_t Ticks(const FILETIME& f) { return (uint64_t{f.dwHighDateTime} << 32) | f.dwLowDateTime; }

TEST(OleTime, FileTimes) {
    struct Case {
        SYSTEMTIME time;
        uint64_t ticks;
        int dayOfWeek;
    };
    const Case cases[] = {
        {Make(1601, 1, 1), 0, 1},
        {Make(1970, 1, 1), 116444736000000000ull, 4},
        {Make(2000, 1, 1), 125911584000000000ull, 6},
        {Make(2023, 5, 17, 8, 5, 9, 123), 133287843091230000ull, 3},
        {Make(9999, 12, 31, 23, 59, 59, 999), 2650467743999990000ull, 5},
    };
    for (const Case& c : cases) {
        FILETIME file{};
        ASSERT_TRUE(SystemTimeToFileTime(&c.time, &file)) << Show(c.time);
        EXPECT_EQ(Ticks(file), c.ticks) << Show(c.time);
        SYSTEMTIME back{};
        ASSERT_TRUE(FileTimeToSystemTime(&file, &back));
        EXPECT_EQ(Show(back), Show(c.time));
        EXPECT_EQ(back.wDayOfWeek, c.dayOfWeek) << Show(c.time);
        EXPECT_EQ(DayOfWeek(c.time.wYear, c.time.wMonth, c.time.wDay), c.dayOfWeek);
    }
}

TEST(OleTime, DayBeyondTheMonthCarries) {
    struct Case {
        SYSTEMTIME given;
        const char* shown;
    };
    const Case cases[] = {
        {Make(2023, 4, 31, 10), "2023-05-01 10:00:00.000"},
        {Make(2023, 2, 29), "2023-03-01 00:00:00.000"},
        {Make(2024, 2, 31), "2024-03-02 00:00:00.000"},
        {Make(2024, 2, 29), "2024-02-29 00:00:00.000"},
        {Make(1900, 2, 29), "1900-03-01 00:00:00.000"},
        {Make(2000, 2, 29), "2000-02-29 00:00:00.000"},
    };
    for (const Case& c : cases) {
        FILETIME file{};
        SYSTEMTIME back{};
        ASSERT_TRUE(SystemTimeToFileTime(&c.given, &file));
        ASSERT_TRUE(FileTimeToSystemTime(&file, &back));
        EXPECT_EQ(Show(back), c.shown);
        DATE date = 0;
        ASSERT_TRUE(SystemTimeToVariantTime(&c.given, &date));
        ASSERT_TRUE(VariantTimeToSystemTime(date, &back));
        EXPECT_EQ(Show(back), c.shown);
    }
}

}  // namespace
}  // namespace platform
