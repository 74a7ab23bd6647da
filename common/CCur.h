// CCur: fixed-point money and quantity value of the support library.
//
// One signed 64-bit count of ten-thousandths (four implied decimals): CCur(1.5) holds 15000.
// Decimal counts d: the unit of d decimals is 10^(4 - d) ten-thousandths (d = -4: 100000000,
// d = 0: 10000, d = 4: 1). RoundTo, Truncate, Wrap, ToDigits and ToBCD take d below -4 as -4 and
// above 4 as 4. Integer arithmetic that would leave 64 bits wraps (two's complement) instead of
// being undefined; the tool's prices and quantities never come near it.
//
// Thread-safety: a plain value; FormatText() returns a program-wide area.
#pragma once

#include <compare>
#include <cstdint>

class CCur {
public:
    static constexpr int kFormatLocaleSize = 21;  // wide units of a FormatLocale() area
    static constexpr int kFormatTextSize = 40;    // bytes of the FormatText() area (39 + zero)

    CCur() = default;                              // 0
    // x * 10000 rounded half away from zero: CCur(0.03125) holds 313, CCur(-0.03125) -313.
    // NaN gives 0; values beyond the 64-bit range saturate.
    explicit CCur(double x);

    int64_t Value() const { return value_; }
    void SetValue(int64_t value) { value_ = value; }
    static CCur FromValue(int64_t value) { CCur c; c.value_ = value; return c; }

    double ToDouble() const;                       // count / 10000

    // Takes the count as an integer with d decimals: d -4..4 multiplies by the unit, d 5..12
    // divides by 10^(d - 4), any other d leaves the count alone.
    //   CCur::FromValue(123).ScaleFrom(2)   // 1.23 (12300)
    CCur& ScaleFrom(int d);
    // The inverse: the count as an integer with d decimals. CCur(1.23).ScaleTo(2) is 123.
    int64_t ScaleTo(int d) const;

    // To the nearest multiple of the unit u of d decimals: ((value + u / 2) / u) * u; below 0 the
    // half unit is subtracted, so halves round away from zero on both sides.
    CCur& RoundTo(int d);
    // (value / u) * u.
    CCur& Truncate(int d);
    // Keeps the lowest `digits` digits (1..8, other counts mean 8) at d decimals; with rounding
    // u / 2 is added first (subtracted below 0).
    //   CCur(9.87).Wrap(1, 1, false)   // 0.8
    //   CCur(9.87).Wrap(1, 1, true)    // 0.9
    CCur& Wrap(int digits, int d, bool rounding);

    // The value rounded to d decimals, as min(length, 20) ASCII digits (leading zeros kept, digits
    // of the magnitude), least significant first with lowFirst, then a zero byte. `buffer` holds
    // min(length, 20) + 1 bytes. Returns buffer.
    char* ToDigits(char* buffer, int length, int d, bool lowFirst) const;
    // The same value as packed decimal in (min(length, 20) - 1) / 2 + 1 bytes, two digits a byte
    // (the less significant in the low four bits), least significant byte first with lowFirst.
    // Returns the number of bytes written.
    int ToBCD(uint8_t* buffer, int length, int d, bool lowFirst) const;
    // Reads `length` characters as digits (from the last backwards with lowFirst), any character
    // other than '1'..'9' counting as 0, then ScaleFrom(d).
    CCur& FromDigits(const char* text, int length, int d, bool lowFirst);
    // Reads (length - 1) / 2 + 1 packed bytes (from the last backwards with lowFirst), high
    // nibble first, a nibble of 10 or more counting as 0, then ScaleFrom(d).
    CCur& FromBCD(const uint8_t* bytes, int length, int d, bool lowFirst);

    // Formats with the user's default locale into `out` (kFormatLocaleSize units): currency or
    // plain number; digits >= 0 overrides the locale's decimal count; grouping false drops the
    // thousands separator. Text that does not fit gives the empty text. Returns out.
    char16_t* FormatLocale(char16_t* out, bool currency, int digits, bool grouping) const;
    // FormatLocale(), narrowed to low bytes into one program-wide area (at most 39 characters).
    const char* FormatText(bool currency, int digits = -1, bool grouping = true) const;

    friend bool operator==(const CCur&, const CCur&) = default;
    friend auto operator<=>(const CCur&, const CCur&) = default;

private:
    int64_t value_ = 0;
};
