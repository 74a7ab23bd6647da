#include "platform/locale_format.h"

#include <clocale>

#include <gtest/gtest.h>

namespace platform {
namespace {

class LocaleFormat : public ::testing::Test {
protected:
    void SetUp() override { std::setlocale(LC_ALL, "C"); }
};

SYSTEMTIME Make(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return SYSTEMTIME{static_cast<uint16_t>(y), static_cast<uint16_t>(mo), 0, static_cast<uint16_t>(d),
                      static_cast<uint16_t>(h), static_cast<uint16_t>(mi), static_cast<uint16_t>(s), 0};
}

std::u16string Date(const SYSTEMTIME& t, const char16_t* picture) {
    char16_t out[128];
    const int size = GetDateFormatW(&t, picture, out, 128);
    return size > 0 ? std::u16string(out, size - 1) : u"<failed>";
}

std::u16string Time(const SYSTEMTIME& t, const char16_t* picture) {
    char16_t out[128];
    const int size = GetTimeFormatW(&t, picture, out, 128);
    return size > 0 ? std::u16string(out, size - 1) : u"<failed>";
}

TEST_F(LocaleFormat, DatePictures) {
    const SYSTEMTIME may = Make(2023, 5, 7, 8, 5, 9);      // a Sunday
    const SYSTEMTIME nov = Make(2005, 11, 17, 20, 45, 3);  // a Thursday
    struct Case {
        const SYSTEMTIME& time;
        const char16_t* picture;
        const char16_t* expected;
    };
    const Case cases[] = {
        {may, u"dd'/'MM'/'yyyy", u"07/05/2023"},
        {may, u"d/M/y", u"7/5/23"},
        {nov, u"d/M/y", u"17/11/5"},
        {nov, u"yy yyy yyyy yyyyy", u"05 2005 2005 2005"},
        {may, u"ddd, dddd dddddd", u"Sun, Sunday Sunday"},
        {nov, u"ddd dddd", u"Thu Thursday"},
        {nov, u"MMM MMMM MMMMM", u"Nov November November"},
        {may, u"'It''s' d", u"It's 7"},
        {may, u"''dd''", u"'07'"},
        {may, u"'dd MM' dd", u"dd MM 07"},
        {may, u"gg yyyy", u" 2023"},
        {may, u"hh:mm tt", u"hh:mm tt"},  // time letters are plain text here
        {may, u"yyyy 'open", u"2023 open"},
        {may, u"", u""},
        {may, nullptr, u"05/07/23"},  // the C locale's %m/%d/%y
        {Make(100, 1, 1), u"yyyy", u"0100"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Date(c.time, c.picture), c.expected) << (c.picture ? "picture" : "null picture");
    }
    EXPECT_EQ(Date(Make(2024, 2, 29), u"dddd"), u"Thursday");  // from the date, not wDayOfWeek
    EXPECT_EQ(Date(Make(2023, 2, 29), u"d"), u"<failed>");
    EXPECT_EQ(Date(Make(2023, 4, 31), u"d"), u"<failed>");
    EXPECT_EQ(Date(Make(2023, 13, 1), u"d"), u"<failed>");
}

TEST_F(LocaleFormat, TimePictures) {
    struct Case {
        SYSTEMTIME time;
        const char16_t* picture;
        const char16_t* expected;
    };
    const Case cases[] = {
        {Make(2023, 5, 7, 8, 5, 9), u"HH':'mm':'ss", u"08:05:09"},
        {Make(2023, 5, 7, 8, 5, 9), u"H:m:s", u"8:5:9"},
        {Make(2023, 5, 7, 20, 45, 3), u"h hh tt t", u"8 08 PM P"},
        {Make(2023, 5, 7, 0, 15, 0), u"h:mm tt", u"12:15 AM"},
        {Make(2023, 5, 7, 12, 0, 0), u"hh tt", u"12 PM"},
        {Make(2023, 5, 7, 8, 5, 9), u"HHH mmm", u"08 05"},
        {Make(2023, 5, 7, 8, 5, 9), u"'h' H dd", u"h 8 dd"},
        {Make(2023, 5, 7, 23, 59, 59), nullptr, u"23:59:59"},  // the C locale's %H:%M:%S
    };
    for (const Case& c : cases) EXPECT_EQ(Time(c.time, c.picture), c.expected);
    EXPECT_EQ(Time(Make(2023, 5, 7, 24, 0, 0), u"H"), u"<failed>");
    EXPECT_EQ(Time(Make(2023, 5, 7, 0, 60, 0), u"H"), u"<failed>");
}

TEST_F(LocaleFormat, CapacityIsNeverExceeded) {
    const SYSTEMTIME t = Make(2023, 5, 7, 8, 5, 9);
    EXPECT_EQ(GetDateFormatW(&t, u"dd'/'MM'/'yyyy", nullptr, 0), 11);
    char16_t out[16];
    for (char16_t& c : out) c = u'#';
    EXPECT_EQ(GetDateFormatW(&t, u"dd'/'MM'/'yyyy", out, 10), 0);
    for (int i = 10; i < 16; ++i) EXPECT_EQ(out[i], u'#') << i;
    EXPECT_EQ(GetDateFormatW(&t, u"dd'/'MM'/'yyyy", out, 11), 11);
    EXPECT_EQ(std::u16string(out), u"07/05/2023");
    EXPECT_EQ(GetTimeFormatW(&t, u"HH:mm", out, 5), 0);
    EXPECT_EQ(GetTimeFormatW(&t, u"HH:mm", out, -1), 0);
    EXPECT_EQ(GetDateFormatW(nullptr, u"d", out, 16), 0);

    NumberFormat number;
    EXPECT_EQ(GetNumberFormatW(u"1234.5", &number, nullptr, 0), 9);  // "1,234.50"
    for (char16_t& c : out) c = u'#';
    EXPECT_EQ(GetNumberFormatW(u"1234.5", &number, out, 8), 0);
    for (int i = 8; i < 16; ++i) EXPECT_EQ(out[i], u'#') << i;
    CurrencyFormat currency;
    EXPECT_EQ(GetCurrencyFormatW(u"-1234.5", &currency, out, 10), 0);  // "-$1,234.50" needs 11
    EXPECT_EQ(GetCurrencyFormatW(u"-1234.5", &currency, out, 11), 11);
    EXPECT_EQ(std::u16string(out), u"-$1,234.50");
}

std::u16string Number(const char16_t* value, const NumberFormat& format) {
    char16_t out[64];
    const int size = GetNumberFormatW(value, &format, out, 64);
    return size > 0 ? std::u16string(out, size - 1) : u"<failed>";
}

NumberFormat With(unsigned digits, unsigned grouping = 3, unsigned negativeOrder = 1,
                  unsigned leadingZero = 1) {
    NumberFormat format;
    format.numDigits = digits;
    format.grouping = grouping;
    format.negativeOrder = negativeOrder;
    format.leadingZero = leadingZero;
    return format;
}

TEST_F(LocaleFormat, Numbers) {
    struct Case {
        const char16_t* value;
        NumberFormat format;
        const char16_t* expected;
    };
    const Case cases[] = {
        {u"1234567.891", With(2), u"1,234,567.89"},
        {u"0.005", With(2), u"0.01"},          // half away from zero
        {u"-0.005", With(2), u"-0.01"},
        {u"0.00499", With(2), u"0.00"},
        {u"-0.004", With(2), u"0.00"},         // rounds to zero: no sign
        {u"999.995", With(2), u"1,000.00"},    // carry through the whole part
        {u"-99.5", With(0), u"-100"},
        {u"2.5", With(0), u"3"},
        {u"0.4", With(0), u"0"},
        {u"007", With(2), u"7.00"},
        {u"12.", With(1), u"12.0"},
        {u".5", With(2), u"0.50"},
        {u"0.5", With(2, 3, 1, 0), u".50"},    // no leading zero
        {u"123", With(0, 3), u"123"},
        {u"1234", With(0, 3), u"1,234"},
        {u"1234567", With(2, 0), u"1234567.00"},
        {u"123456789", With(0, 32), u"12,34,56,789"},
        {u"123456789", With(0, 30), u"123456,789"},
        {u"-1.1", With(1, 3, 0), u"(1.1)"},
        {u"-1.1", With(1, 3, 1), u"-1.1"},
        {u"-1.1", With(1, 3, 2), u"- 1.1"},
        {u"-1.1", With(1, 3, 3), u"1.1-"},
        {u"-1.1", With(1, 3, 4), u"1.1 -"},
        {u"-1234.5678", With(4), u"-1,234.5678"},
    };
    for (const Case& c : cases) EXPECT_EQ(Number(c.value, c.format), c.expected) << "value";

    NumberFormat european = With(2);
    european.decimalSep = u",";
    european.thousandSep = u".";
    EXPECT_EQ(Number(u"1234.5", european), u"1.234,50");

    const char16_t* invalid[] = {u"", u"-", u".", u"1.2.3", u"1e5", u" 1", u"1 ", u"+1", u"--1", u"abc"};
    for (const char16_t* value : invalid) EXPECT_EQ(Number(value, With(2)), u"<failed>");
    char16_t out[8];
    EXPECT_EQ(GetNumberFormatW(nullptr, nullptr, out, 8), 0);
    EXPECT_EQ(Number(u"1", With(2, 3, 5)), u"<failed>");
    EXPECT_EQ(Number(u"1", With(10)), u"<failed>");
}

TEST_F(LocaleFormat, CurrencyOrders) {
    const char16_t* negative[] = {
        u"($1.1)", u"-$1.1",  u"$-1.1",  u"$1.1-",  u"(1.1$)",  u"-1.1$",  u"1.1-$",   u"1.1$-",
        u"-1.1 $", u"-$ 1.1", u"1.1 $-", u"$ 1.1-", u"$ -1.1", u"1.1- $", u"($ 1.1)", u"(1.1 $)"};
    const char16_t* positive[] = {u"$1.1", u"1.1$", u"$ 1.1", u"1.1 $"};
    CurrencyFormat format;
    format.numDigits = 1;
    char16_t out[32];
    for (unsigned order = 0; order < 16; ++order) {
        format.negativeOrder = order;
        ASSERT_GT(GetCurrencyFormatW(u"-1.1", &format, out, 32), 0) << order;
        EXPECT_EQ(std::u16string(out), negative[order]) << order;
    }
    for (unsigned order = 0; order < 4; ++order) {
        format.positiveOrder = order;
        ASSERT_GT(GetCurrencyFormatW(u"1.1", &format, out, 32), 0) << order;
        EXPECT_EQ(std::u16string(out), positive[order]) << order;
    }
    format.negativeOrder = 16;
    EXPECT_EQ(GetCurrencyFormatW(u"-1.1", &format, out, 32), 0);
    format.negativeOrder = 1;
    format.positiveOrder = 4;
    EXPECT_EQ(GetCurrencyFormatW(u"1.1", &format, out, 32), 0);
}

TEST_F(LocaleFormat, DefaultsInTheCLocale) {
    const NumberFormat number = DefaultNumberFormat();
    EXPECT_EQ(number.decimalSep, u".");
    EXPECT_EQ(number.thousandSep, u",");
    EXPECT_EQ(number.grouping, 3u);
    EXPECT_EQ(number.numDigits, 2u);
    const CurrencyFormat currency = DefaultCurrencyFormat();
    EXPECT_EQ(currency.currencySymbol, u"");
    EXPECT_EQ(currency.decimalSep, u".");
    EXPECT_EQ(currency.thousandSep, u"");
    EXPECT_EQ(currency.grouping, 0u);
    EXPECT_EQ(currency.numDigits, 2u);

    char16_t out[32];
    ASSERT_GT(GetNumberFormatW(u"1234.5", nullptr, out, 32), 0);
    EXPECT_EQ(std::u16string(out), u"1,234.50");
    ASSERT_GT(GetCurrencyFormatW(u"-1234.5", nullptr, out, 32), 0);
    EXPECT_EQ(std::u16string(out), u"-1234.50");
}

}  // namespace
}  // namespace platform
