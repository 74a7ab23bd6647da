// Date, time, number and currency formatting in the Windows picture language, fed from the C
// library's current locale (LC_TIME, LC_NUMERIC, LC_MONETARY).
//
// Every function writes zero-terminated UTF-16 text to `out` and returns the number of units
// written including the terminator, or 0 on failure (bad argument, `out` too small). With
// `capacity` 0 it writes nothing and returns the size it would need. Output that does not fit is
// never written past `capacity`; when it does not fit, out[0] is set to 0 (capacity > 0).
// Thread-safe as far as the C library's locale is: do not call setlocale concurrently.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace platform {

// Date pictures: d dd ddd dddd (day, two digits, abbreviated and full day name), M MM MMM MMMM,
// y yy yyyy (yyy and more than 4 read as yyyy; the full year has at least four digits), g gg
// (era, empty here); text between single quotes is copied as it stands ('' is one quote, inside
// or outside quotes); any other character is copied. The day of week is computed from the date.
// Fails for a month outside 1..12 or a day that does not exist in its month.
// Null picture: the locale's default short date (from LC_TIME's %x, translated to a picture).
int GetDateFormatW(const SYSTEMTIME* time, const char16_t* picture, char16_t* out, int capacity);

// Time pictures: h hh (12-hour), H HH (24-hour), m mm, s ss, t tt (first letter / whole AM-PM
// designator, from LC_TIME's AM_STR/PM_STR); quotes as for dates; more than two letters read as
// two. Null picture: the locale's default time (LC_TIME's %X). Fails for hour >= 24, minute or
// second >= 60, milliseconds >= 1000.
int GetTimeFormatW(const SYSTEMTIME* time, const char16_t* picture, char16_t* out, int capacity);

// Layout of a number, as Windows' NUMBERFMT.
struct NumberFormat {
    unsigned numDigits = 2;       // decimals shown (rounded half away from zero)
    unsigned leadingZero = 1;     // 1: "0.5", 0: ".5"
    unsigned grouping = 3;        // 0, 3 (thousands), 32 (Indian 3;2) ...
    std::u16string decimalSep = u".";
    std::u16string thousandSep = u",";
    unsigned negativeOrder = 1;   // 0 "(1.1)", 1 "-1.1", 2 "- 1.1", 3 "1.1-", 4 "1.1 -"
};

// Layout of a currency amount, as Windows' CURRENCYFMT.
struct CurrencyFormat {
    unsigned numDigits = 2;
    unsigned leadingZero = 1;
    unsigned grouping = 3;
    std::u16string decimalSep = u".";
    std::u16string thousandSep = u",";
    unsigned negativeOrder = 1;   // 0..15 as on Windows, e.g. 0 "($1.1)", 1 "-$1.1", 5 "-1.1$"
    unsigned positiveOrder = 0;   // 0 "$1.1", 1 "1.1$", 2 "$ 1.1", 3 "1.1 $"
    std::u16string currencySymbol = u"$";
};

// The user's default formats, read from localeconv() of the current C locale:
// - numbers: decimal_point (empty: "."), thousands_sep and grouping; when the locale defines no
//   grouping and no separator (the "C" locale) the Windows default "," with groups of 3 is used.
//   Decimals 2, leading zero 1, negative order 1 (no localeconv field says otherwise).
// - currency: mon_decimal_point (empty: "."), mon_thousands_sep and mon_grouping as given (the
//   "C" locale: "" and no grouping), currency_symbol as given ("C": ""), frac_digits (CHAR_MAX:
//   2). Positive order from p_cs_precedes/p_sep_by_space, negative order from n_cs_precedes/
//   n_sep_by_space/n_sign_posn (sign positions 3 and 4 mapped to the nearest Windows order);
//   CHAR_MAX there gives positive order 0 and negative order 1.
// The C library's grouping string becomes the Windows number: "\3" 3, "\3\2" 32, "\3\x7f" 30.
NumberFormat DefaultNumberFormat();
CurrencyFormat DefaultCurrencyFormat();

// `value`: plain text, an optional leading '-', digits, optionally '.' and digits (at least one
// digit). Any other text fails. A null `format` means the default one above. Fails also for
// numDigits above 9, a number negative order above 4, a currency negative order above 15 or a
// positive order above 3. A value that rounds to zero is shown without a sign ("-0.001" with two
// decimals gives "0.00"). Grouping: each decimal digit of the number is one group size, the
// rightmost group first; the last size repeats unless the number ends in 0 (30: only one group).
int GetNumberFormatW(const char16_t* value, const NumberFormat* format, char16_t* out, int capacity);
int GetCurrencyFormatW(const char16_t* value, const CurrencyFormat* format, char16_t* out,
                       int capacity);

}  // namespace platform
