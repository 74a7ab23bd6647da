#include "common/CCur.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace {

TEST(CCurDouble, RoundsHalfAwayFromZero) {
    struct Case { double x; int64_t want; } cases[] = {
        {0.03125, 313}, {-0.03125, -313}, {0.0, 0}, {1.5, 15000}, {-1.5, -15000},
        {0.00004, 0}, {0.00005, 1}, {-0.00005, -1}, {1.23456, 12346}, {-1.23454, -12345},
        {100000000000000.0, 1000000000000000000}, {1e300, INT64_MAX}, {-1e300, INT64_MIN},
        {std::nan(""), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.want, CCur(c.x).Value()) << c.x;
    EXPECT_DOUBLE_EQ(-1.2345, CCur::FromValue(-12345).ToDouble());
}

TEST(CCurScale, FromAndTo) {
    struct Case { int64_t raw; int d; int64_t value; } cases[] = {
        {123, 2, 12300},    {123, 0, 1230000},  {123, 4, 123},       {5, -4, 500000000},
        {123456, 6, 1234},  {-123456, 6, -1234}, {123456789012, 12, 1234}, {123, 13, 123},
        {123, -5, 123},
    };
    for (const Case& c : cases) {
        CCur v = CCur::FromValue(c.raw);
        v.ScaleFrom(c.d);
        EXPECT_EQ(c.value, v.Value()) << c.raw << " d=" << c.d;
    }
    EXPECT_EQ(123, CCur(1.23).ScaleTo(2));
    EXPECT_EQ(1, CCur(1.23).ScaleTo(0));
    EXPECT_EQ(1230000, CCur(1.23).ScaleTo(6));
    EXPECT_EQ(12300, CCur(1.23).ScaleTo(99));
}

TEST(CCurRound, RoundToTruncateWrap) {
    struct Case { double x; int d; double rounded; double truncated; } cases[] = {
        {1.23456, 2, 1.23, 1.23}, {1.235, 2, 1.24, 1.23},  {9.87, 0, 10.0, 9.0},
        {9.87, 1, 9.9, 9.8},      {1234.5, -2, 1200.0, 1200.0}, {1250.0, -2, 1300.0, 1200.0},
        {1.23456, 9, 1.2346, 1.2346},  // d above 4 counts as 4
        {123456789.0, -9, 123460000.0, 123450000.0},  // d below -4 counts as -4
        {-1.237, 2, -1.24, -1.23},  // halves and above round away from zero below 0 too
        {-1.23, 2, -1.23, -1.23},   {-1.235, 2, -1.24, -1.23}, {-9.87, 1, -9.9, -9.8},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(c.rounded, CCur(c.x).RoundTo(c.d).ToDouble()) << c.x << " d=" << c.d;
        EXPECT_DOUBLE_EQ(c.truncated, CCur(c.x).Truncate(c.d).ToDouble()) << c.x << " d=" << c.d;
    }

    struct WrapCase { double x; int digits, d; bool rounding; double want; } wraps[] = {
        {9.87, 1, 1, false, 0.8}, {9.87, 1, 1, true, 0.9},   {123456.789, 3, 2, false, 6.78},
        {123456.789, 3, 2, true, 6.79}, {1234567891.0, 0, 0, false, 34567891.0},
        {1234567891.0, 9, 0, false, 34567891.0}, {99.99, 2, 0, true, 0.0},
    };
    for (const WrapCase& w : wraps) {
        EXPECT_DOUBLE_EQ(w.want, CCur(w.x).Wrap(w.digits, w.d, w.rounding).ToDouble()) << w.x;
    }
    EXPECT_DOUBLE_EQ(-0.9, CCur(-9.87).Wrap(1, 1, true).ToDouble());
    EXPECT_DOUBLE_EQ(-0.8, CCur(-9.87).Wrap(1, 1, false).ToDouble());
    // Near the 64-bit edge the arithmetic wraps (sanitizers see no signed overflow).
    EXPECT_EQ(9223372036854770000, CCur::FromValue(INT64_MAX).Truncate(0).Value());
    (void)CCur::FromValue(INT64_MAX).RoundTo(-4);
    (void)CCur::FromValue(INT64_MIN).RoundTo(-4);
    (void)CCur::FromValue(INT64_MAX).ScaleFrom(-4);
}

TEST(CCurDigits, ToAndFromDigits) {
    CCur price(12.345);
    char buf[32];
    EXPECT_STREQ("012345", price.ToDigits(buf, 6, 3, false));
    EXPECT_STREQ("543210", price.ToDigits(buf, 6, 3, true));
    EXPECT_STREQ("001235", price.ToDigits(buf, 6, 2, false));  // 12.345 rounds to 12.35
    EXPECT_STREQ("3450", price.ToDigits(buf, 4, 4, false));    // high digits dropped
    EXPECT_STREQ("", price.ToDigits(buf, 0, 2, false));
    std::memset(buf, '#', sizeof buf);
    price.ToDigits(buf, 30, 4, false);  // at most 20 digits and a zero byte
    EXPECT_EQ(20u, std::strlen(buf));
    EXPECT_EQ('#', buf[21]);
    EXPECT_STREQ("00000000000000123450", buf);
    EXPECT_STREQ("0123", CCur(-1.23).ToDigits(buf, 4, 2, false));  // digits of the magnitude
    EXPECT_STREQ("0124", CCur(-1.235).ToDigits(buf, 4, 2, false));

    EXPECT_EQ(12350, CCur().FromDigits("001235", 6, 3, false).Value());
    EXPECT_EQ(12350, CCur().FromDigits("532100", 6, 3, true).Value());
    EXPECT_EQ(12050, CCur().FromDigits("0012x5", 6, 3, false).Value());  // x counts as 0
    EXPECT_EQ(12000000, CCur().FromDigits("1200", 4, 0, false).Value());
    EXPECT_EQ(0, CCur().FromDigits(nullptr, 6, 3, false).Value());

    for (bool lowFirst : {false, true}) {
        for (double x : {0.0, 1.0, 12.34, 98765.4321}) {
            CCur c(x);
            c.ToDigits(buf, 12, 4, lowFirst);
            EXPECT_EQ(c.Value(), CCur().FromDigits(buf, 12, 4, lowFirst).Value()) << x;
        }
    }
}

TEST(CCurDigits, ToAndFromBCD) {
    CCur price(12.345);
    uint8_t bcd[12];
    std::memset(bcd, 0xEE, sizeof bcd);
    ASSERT_EQ(3, price.ToBCD(bcd, 6, 3, false));
    EXPECT_EQ(0x01, bcd[0]);
    EXPECT_EQ(0x23, bcd[1]);
    EXPECT_EQ(0x45, bcd[2]);
    EXPECT_EQ(0xEE, bcd[3]);
    ASSERT_EQ(3, price.ToBCD(bcd, 6, 3, true));
    EXPECT_EQ(0x45, bcd[0]);
    EXPECT_EQ(0x23, bcd[1]);
    EXPECT_EQ(0x01, bcd[2]);
    EXPECT_EQ(3, price.ToBCD(bcd, 5, 3, false));  // (5 - 1) / 2 + 1 bytes
    EXPECT_EQ(10, price.ToBCD(bcd, 40, 3, false));

    const uint8_t high[] = {0x00, 0x12, 0x35};
    EXPECT_EQ(12350, CCur().FromBCD(high, 6, 3, false).Value());
    const uint8_t low[] = {0x35, 0x12, 0x00};
    EXPECT_EQ(12350, CCur().FromBCD(low, 6, 3, true).Value());
    const uint8_t bad[] = {0x1F, 0xA2};
    EXPECT_EQ(1002, CCur().FromBCD(bad, 4, 4, false).Value());  // nibbles of 10+ count as 0

    for (bool lowFirst : {false, true}) {
        for (double x : {0.0, 7.0, 12.34, 98765.4321}) {
            CCur c(x);
            c.ToBCD(bcd, 12, 4, lowFirst);
            EXPECT_EQ(c.Value(), CCur().FromBCD(bcd, 12, 4, lowFirst).Value()) << x;
        }
    }
}

// The tests run in the C locale: "." decimal point; numbers fall back to "," thousands in threes,
// currency has no symbol and no thousands separator.
TEST(CCurFormat, CLocale) {
    struct Case { double x; bool currency; int digits; bool grouping; const char* want; } cases[] = {
        {1234.5678, false, 2, true, "1,234.57"},
        {1234.5678, false, 2, false, "1234.57"},
        {1234.5678, false, 0, true, "1,235"},
        {1234567.5, false, -1, true, "1,234,567.50"},  // the locale's two decimals
        {-1234.5, false, 1, false, "-1234.5"},
        {0.25, false, 4, true, "0.2500"},
        {-0.03125, false, 3, true, "-0.031"},
        {1234.5678, true, 2, false, "1234.57"},
    };
    for (const Case& c : cases) {
        char16_t out[CCur::kFormatLocaleSize];
        CCur(c.x).FormatLocale(out, c.currency, c.digits, c.grouping);
        std::u16string want(c.want, c.want + std::strlen(c.want));
        EXPECT_EQ(want, std::u16string(out)) << c.x;
        EXPECT_STREQ(c.want, CCur(c.x).FormatText(c.currency, c.digits, c.grouping)) << c.x;
    }
    // The largest values do not fit 21 units with grouping and many decimals: empty, no overrun.
    char16_t out[CCur::kFormatLocaleSize + 4];
    for (auto& u : out) u = u'#';
    CCur::FromValue(INT64_MIN).FormatLocale(out, true, 9, true);
    EXPECT_EQ(u'#', out[CCur::kFormatLocaleSize]);
    EXPECT_LT(std::strlen(CCur::FromValue(INT64_MIN).FormatText(false, 9, true)),
              size_t(CCur::kFormatTextSize));
    EXPECT_STREQ("", CCur::FromValue(INT64_MIN).FormatText(false, 4, false));  // 21 characters
    EXPECT_STREQ("-922337203685477.58", CCur::FromValue(INT64_MIN).FormatText(false, 2, false));
}

}  // namespace
