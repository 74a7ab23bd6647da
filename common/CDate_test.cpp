#include "common/CDate.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/oletime.h"

namespace {

CDate Make(const char* text) {
    CDate d;
    EXPECT_TRUE(d.Parse(text)) << text;
    return d;
}

TEST(CDateNull, NullBehaviour) {
    CDate d;
    EXPECT_TRUE(d.IsNull());
    EXPECT_EQ(CDate::NullDate, d.Value());
    EXPECT_TRUE(CDate::FromValue(0).IsNull());
    EXPECT_TRUE(CDate(0.0).IsNull());
    EXPECT_TRUE(CDate(-1.0).IsNull());
    EXPECT_TRUE(CDate(1.0e9).IsNull());  // beyond the system range
    EXPECT_TRUE(CDate(std::nan("")).IsNull());
    EXPECT_EQ(0.0, d.ToOleDate());
    EXPECT_EQ(0.0, d.ToJulian());

    // Fields and text of a null date are those of 1 January 2000 00:00:00, a Saturday.
    const SYSTEMTIME& st = d.ToSystemTime();
    EXPECT_EQ(2000, st.wYear);
    EXPECT_EQ(1, st.wMonth);
    EXPECT_EQ(1, st.wDay);
    EXPECT_EQ(6, st.wDayOfWeek);
    EXPECT_EQ(0, st.wHour + st.wMinute + st.wSecond + st.wMilliseconds);
    EXPECT_EQ(2000, d.Year());
    struct tm* tm = d.ToTm();
    EXPECT_EQ(100, tm->tm_year);
    EXPECT_EQ(0, tm->tm_mon);
    EXPECT_EQ(1, tm->tm_mday);
    EXPECT_EQ(6, tm->tm_wday);
    EXPECT_EQ(0, tm->tm_hour + tm->tm_min + tm->tm_sec + tm->tm_yday);
    EXPECT_STREQ("01/01/2000 00:00:00", d.FormatStatic(u"dd'/'MM'/'yyyy", u"HH':'mm':'ss"));
    EXPECT_TRUE(d.SameSecond(Make("2000-01-01 00:00:00")));

    CDate e = Make("2023-05-17 08:05:09");
    e.SetNull();
    EXPECT_TRUE(e.IsNull());
}

TEST(CDateParse, AcceptAndReject) {
    struct Case {
        const char* text;
        bool ok;
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    } cases[] = {
        {"2023/05/17 08:05:09", true, 2023, 5, 17, 8, 5, 9},
        {"2023-05-17 08:05:09", true, 2023, 5, 17, 8, 5, 9},
        {"2023-05/17 08:05:09 trailing", true, 2023, 5, 17, 8, 5, 9},
        {"1900-01-01 00:00:00", true, 1900, 1, 1, 0, 0, 0},
        {"2023-12-31 23:59:59", true, 2023, 12, 31, 23, 59, 59},
        {"2023-02-30 12:00:00", true, 2023, 3, 2, 12, 0, 0},  // carries into March
        {"1899-12-31 00:00:00", false},
        {"2023-13-01 00:00:00", false},
        {"2023-00-01 00:00:00", false},
        {"2023-05-00 00:00:00", false},
        {"2023-05-32 00:00:00", false},
        {"2023-05-17 24:00:00", false},
        {"2023-05-17 08:60:00", false},
        {"2023-05-17 08:05:60", false},
        {"2023-05-17T08:05:09", false},
        {"2023.05.17 08:05:09", false},
        {"2023-05-17 08-05-09", false},
        {"2023-05-17 08:05:9", false},
        {"", false},
        {"2023-05-17 08:05:0999999999999999999999", false},
    };
    for (const Case& c : cases) {
        CDate d = CDate::FromValue(12345);
        EXPECT_EQ(c.ok, d.Parse(c.text)) << c.text;
        if (!c.ok) {
            EXPECT_EQ(12345, d.Value()) << c.text;  // unchanged
            continue;
        }
        EXPECT_EQ(c.y, d.Year()) << c.text;
        EXPECT_EQ(c.mo, d.Month()) << c.text;
        EXPECT_EQ(c.d, d.Day()) << c.text;
        EXPECT_EQ(c.h, d.Hour()) << c.text;
        EXPECT_EQ(c.mi, d.Minute()) << c.text;
        EXPECT_EQ(c.s, d.Second()) << c.text;
    }
    CDate d;
    EXPECT_FALSE(d.Parse(nullptr));
    EXPECT_TRUE(d.IsNull());
}

TEST(CDateFormat, Pictures) {
    CDate d = Make("2023-05-17 08:05:09");
    char out[64];
    EXPECT_STREQ("17/05/2023 08:05:09",
                 d.Format(out, sizeof out, u"dd'/'MM'/'yyyy", u"HH':'mm':'ss"));
    EXPECT_STREQ("17/05/2023", d.Format(out, sizeof out, u"dd'/'MM'/'yyyy", u""));
    EXPECT_STREQ("08:05:09", d.Format(out, sizeof out, u"", u"HH':'mm':'ss"));
    EXPECT_STREQ("", d.Format(out, sizeof out, u"", u""));
    EXPECT_STREQ("2023-05-17 08h05", d.Format(out, sizeof out, u"yyyy-MM-dd", u"HH'h'mm"));
    EXPECT_STREQ("Null date", d.Format(nullptr, 10, u"yyyy", u""));

    // The locale's defaults fill null pictures: both parts present, joined by one space.
    const char* both = d.Format(out, sizeof out, nullptr, nullptr);
    EXPECT_NE(nullptr, std::strchr(both, ' '));
    EXPECT_NE(nullptr, std::strstr(both, "08:05:09"));
}

TEST(CDateFormat, NeverWritesPastSize) {
    CDate d = Make("2023-05-17 08:05:09");
    for (int size : {0, 1, 2, 5, 11, 19, 20}) {
        char out[32];
        std::memset(out, '#', sizeof out);
        d.Format(out, size, u"dd'/'MM'/'yyyy", u"HH':'mm':'ss");
        for (int i = size; i < int(sizeof out); ++i) ASSERT_EQ('#', out[i]) << size;
        if (size > 0) {
            EXPECT_EQ(std::string("17/05/2023 08:05:09").substr(0, size_t(size - 1)),
                      std::string(out));
        }
    }
    // A picture producing more than the static area holds is cut inside it.
    std::u16string picture;
    for (int i = 0; i < 70; ++i) picture += u"'x'";
    const char* text = d.FormatStatic(picture.c_str(), picture.c_str());
    EXPECT_LT(std::strlen(text), size_t(CDate::kFormatStaticSize));
}

TEST(CDateOle, RoundTrip) {
    struct Case { double ole; const char* text; } cases[] = {
        {1.0, "1899-12-31 00:00:00"},
        {36526.0, "2000-01-01 00:00:00"},
        {45063.337, "2023-05-17 08:05:16"},  // .337 of a day is 8:05:16.8
        {2958465.5, "9999-12-31 12:00:00"},
    };
    for (const Case& c : cases) {
        CDate d(c.ole);
        ASSERT_FALSE(d.IsNull()) << c.ole;
        EXPECT_NEAR(c.ole, d.ToOleDate(), 1e-8) << c.ole;
        EXPECT_STREQ(c.text, d.FormatStatic(u"yyyy'-'MM'-'dd", u"HH':'mm':'ss")) << c.ole;
        CDate again;
        again.FromOleDate(d.ToOleDate());
        EXPECT_EQ(d.Value(), again.Value()) << c.ole;
    }
}

TEST(CDateConversions, FileTimeCountAndTm) {
    CDate epoch = Make("1970-01-01 00:00:00");
    EXPECT_EQ(CDate::FileTime2TimeOffset, epoch.Value());
    CDate later = Make("1970-01-01 00:00:01");
    EXPECT_EQ(CDate::FileTime2Seconds, later.Value() - epoch.Value());

    CDate d = Make("2024-03-01 13:14:15");
    struct tm* tm = d.ToTm();
    EXPECT_EQ(124, tm->tm_year);
    EXPECT_EQ(2, tm->tm_mon);
    EXPECT_EQ(1, tm->tm_mday);
    EXPECT_EQ(13, tm->tm_hour);
    EXPECT_EQ(5, tm->tm_wday);   // a Friday
    EXPECT_EQ(60, tm->tm_yday);  // leap year
    CDate back;
    back.FromTm(*tm);
    EXPECT_EQ(d.Value(), back.Value());

    EXPECT_TRUE(d.SameSecond(CDate::FromValue(d.Value() + 9990000)));
    EXPECT_FALSE(d.SameSecond(CDate::FromValue(d.Value() + 10000000)));
}

TEST(CDateJulian, Values) {
    struct Case { const char* text; double jd; } cases[] = {
        {"2000-01-01 00:00:00", 2451544.5},
        {"2000-03-01 00:00:00", 2451604.5},
        {"2000-02-29 12:00:00", 2451604.0},
        {"1900-01-01 00:00:00", 2415020.5},
        {"2023-05-17 18:00:00", 2460082.25},
        {"2100-12-31 23:59:59", 2488433.5 + 86399.0 / 86400.0},
    };
    for (const Case& c : cases) {
        CDate d = Make(c.text);
        EXPECT_DOUBLE_EQ(c.jd, d.ToJulian()) << c.text;
        CDate back;
        back.FromJulian(c.jd);
        EXPECT_EQ(d.Value(), back.Value()) << c.text;
    }
    // Milliseconds survive the round trip; every day of a leap and a plain year maps back.
    CDate start = Make("2023-12-30 06:07:08");
    for (int day = 0; day < 800; ++day) {
        CDate d = CDate::FromValue(start.Value() + day * 864000000000LL + 1230000);
        CDate back;
        back.FromJulian(d.ToJulian());
        ASSERT_EQ(d.Value(), back.Value()) << day;
    }
    CDate bad;
    bad.FromJulian(-5.0);
    EXPECT_TRUE(bad.IsNull());
    bad.FromJulian(std::nan(""));
    EXPECT_TRUE(bad.IsNull());
}

TEST(CDateClock, NowElapsedAndSystemClock) {
    CDate d;
    EXPECT_EQ(0, d.ElapsedMs());  // null: set to now
    EXPECT_FALSE(d.IsNull());
    CDate earlier = CDate::FromValue(d.Value() - 5 * CDate::FileTime2Seconds);
    EXPECT_GE(earlier.ElapsedMs(), 5000);
    EXPECT_LT(earlier.ElapsedMs(), 60000);
    EXPECT_GE(earlier.ElapsedSeconds(), 5);

    CDate saved;
    saved.SetNow();
    CDate target = Make("2031-07-04 10:00:00");
    target.SetSystemClock();
    CDate now;
    now.SetNow();
    EXPECT_LT(now.Value() - target.Value(), 60 * CDate::FileTime2Seconds);
    EXPECT_GE(now.Value(), target.Value());
    saved.SetSystemClock();
}

TEST(CDateZone, OffsetMatchesTheCLibrary) {
    time_t instant = 1699000000;
    struct tm local;
    localtime_r(&instant, &local);
    EXPECT_EQ(int64_t(local.tm_gmtoff) * CDate::FileTime2Seconds, CDate::TimeZoneOffset());
}

}  // namespace
