// CCur: ten-thousandths in 64 bits. See CCur.h.

#include "common/CCur.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/locale_format.h"

namespace {

// Unit of d decimals in ten-thousandths, d = -4..4.
constexpr int64_t kUnit[9] = {100000000, 10000000, 1000000, 100000, 10000, 1000, 100, 10, 1};
// 10^k, k = 0..18.
constexpr int64_t kPow10[19] = {1,
                                10,
                                100,
                                1000,
                                10000,
                                100000,
                                1000000,
                                10000000,
                                100000000,
                                1000000000,
                                10000000000,
                                100000000000,
                                1000000000000,
                                10000000000000,
                                100000000000000,
                                1000000000000000,
                                10000000000000000,
                                100000000000000000,
                                1000000000000000000};

int64_t UnitOf(int d) {
    if (d < -4) d = -4;
    if (d > 4) d = 4;
    return kUnit[d + 4];
}

// Two's-complement wrap-around arithmetic (no undefined overflow).
int64_t Add(int64_t a, int64_t b) { return int64_t(uint64_t(a) + uint64_t(b)); }
int64_t Mul(int64_t a, int64_t b) { return int64_t(uint64_t(a) * uint64_t(b)); }
// Integer division truncating towards zero; INT64_MIN / -1 cannot occur (divisors are positive).
int64_t Div(int64_t a, int64_t b) { return a / b; }

// (value + u / 2) / u for values from 0 up; below 0 the half unit is taken away instead, so that
// rounding is symmetric (-1.23 at two decimals stays -1.23 rather than becoming -1.22).
int64_t RoundedUnits(int64_t value, int64_t u) {
    return Div(value < 0 ? Add(value, -(u / 2)) : Add(value, u / 2), u);
}

uint64_t Magnitude(int64_t v) { return v < 0 ? 0u - uint64_t(v) : uint64_t(v); }

int DigitCount(int length) {
    if (length < 0) return 0;
    return length > 20 ? 20 : length;
}

}  // namespace

CCur::CCur(double x) {
    double scaled = x * 10000.0;
    double r = x < 0 ? std::ceil(scaled - 0.5) : std::floor(scaled + 0.5);
    if (std::isnan(r)) {
        value_ = 0;
    } else if (r >= 9223372036854775807.0) {
        value_ = INT64_MAX;
    } else if (r <= -9223372036854775808.0) {
        value_ = INT64_MIN;
    } else {
        value_ = int64_t(r);
    }
}

double CCur::ToDouble() const { return double(value_) / 10000.0; }

CCur& CCur::ScaleFrom(int d) {
    if (d >= -4 && d <= 4) value_ = Mul(value_, kUnit[d + 4]);
    else if (d >= 5 && d <= 12) value_ = Div(value_, kPow10[d - 4]);
    return *this;
}

int64_t CCur::ScaleTo(int d) const {
    if (d >= -4 && d <= 4) return Div(value_, kUnit[d + 4]);
    if (d >= 5 && d <= 12) return Mul(value_, kPow10[d - 4]);
    return value_;
}

CCur& CCur::RoundTo(int d) {
    int64_t u = UnitOf(d);
    value_ = Mul(RoundedUnits(value_, u), u);
    return *this;
}

CCur& CCur::Truncate(int d) {
    int64_t u = UnitOf(d);
    value_ = Mul(Div(value_, u), u);
    return *this;
}

CCur& CCur::Wrap(int digits, int d, bool rounding) {
    if (digits < 1 || digits > 8) digits = 8;
    int64_t u = UnitOf(d);
    int64_t units = rounding ? RoundedUnits(value_, u) : Div(value_, u);
    value_ = Mul(units % kPow10[digits], u);
    return *this;
}

char* CCur::ToDigits(char* buffer, int length, int d, bool lowFirst) const {
    if (buffer == nullptr) return buffer;
    int64_t u = UnitOf(d);
    uint64_t v = Magnitude(RoundedUnits(value_, u));
    int n = DigitCount(length);
    for (int i = 0; i < n; ++i) {
        char digit = char('0' + v % 10);
        v /= 10;
        buffer[lowFirst ? i : n - 1 - i] = digit;
    }
    buffer[n] = 0;
    return buffer;
}

int CCur::ToBCD(uint8_t* buffer, int length, int d, bool lowFirst) const {
    if (buffer == nullptr) return 0;
    int64_t u = UnitOf(d);
    uint64_t v = Magnitude(RoundedUnits(value_, u));
    int bytes = (DigitCount(length) - 1) / 2 + 1;
    for (int i = 0; i < bytes; ++i) {
        unsigned low = unsigned(v % 10);
        v /= 10;
        unsigned high = unsigned(v % 10);
        v /= 10;
        buffer[lowFirst ? i : bytes - 1 - i] = uint8_t(high << 4 | low);
    }
    return bytes;
}

CCur& CCur::FromDigits(const char* text, int length, int d, bool lowFirst) {
    uint64_t v = 0;
    if (text != nullptr) {
        for (int i = 0; i < length; ++i) {
            char c = text[lowFirst ? length - 1 - i : i];
            unsigned digit = (c >= '1' && c <= '9') ? unsigned(c - '0') : 0u;
            v = v * 10u + digit;
        }
    }
    value_ = int64_t(v);
    return ScaleFrom(d);
}

CCur& CCur::FromBCD(const uint8_t* bytes, int length, int d, bool lowFirst) {
    uint64_t v = 0;
    int count = (length - 1) / 2 + 1;
    if (bytes != nullptr && count > 0) {
        for (int i = 0; i < count; ++i) {
            uint8_t b = bytes[lowFirst ? count - 1 - i : i];
            unsigned high = b >> 4;
            unsigned low = b & 0xF;
            v = v * 10u + (high < 10 ? high : 0u);
            v = v * 10u + (low < 10 ? low : 0u);
        }
    }
    value_ = int64_t(v);
    return ScaleFrom(d);
}

char16_t* CCur::FormatLocale(char16_t* out, bool currency, int digits, bool grouping) const {
    if (out == nullptr) return out;
    uint64_t magnitude = Magnitude(value_);
    char plain[32];
    std::snprintf(plain, sizeof plain, "%s%" PRIu64 ".%04" PRIu64, value_ < 0 ? "-" : "",
                  magnitude / 10000, magnitude % 10000);
    std::u16string value(plain, plain + std::char_traits<char>::length(plain));

    int written;
    if (currency) {
        platform::CurrencyFormat format = platform::DefaultCurrencyFormat();
        if (digits >= 0) format.numDigits = unsigned(digits);
        if (!grouping) format.thousandSep.clear();
        written = platform::GetCurrencyFormatW(value.c_str(), &format, out, kFormatLocaleSize);
    } else {
        platform::NumberFormat format = platform::DefaultNumberFormat();
        if (digits >= 0) format.numDigits = unsigned(digits);
        if (!grouping) format.thousandSep.clear();
        written = platform::GetNumberFormatW(value.c_str(), &format, out, kFormatLocaleSize);
    }
    if (written == 0) out[0] = 0;
    return out;
}

const char* CCur::FormatText(bool currency, int digits, bool grouping) const {
    static char area[kFormatTextSize];
    char16_t wide[kFormatLocaleSize];
    FormatLocale(wide, currency, digits, grouping);
    int i = 0;
    for (; i < kFormatTextSize - 1 && i < kFormatLocaleSize && wide[i] != 0; ++i) {
        area[i] = char(wide[i] & 0xFF);
    }
    area[i] = 0;
    return area;
}
