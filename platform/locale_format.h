// Date, time, number and currency formatting in the Windows picture language, fed from the C
// library's current locale (LC_TIME, LC_NUMERIC, LC_MONETARY).
//
// Every function writes zero-terminated UTF-16 text to `out` and returns the number of units
// written including the terminator, or 0 on failure (bad argument, `out` too small). With
// `capacity` 0 it writes nothing and returns the size it would need. Output that does not fit is
// never written past `capacity`.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace platform {

// Date pictures: d dd ddd dddd (day, two digits, abbreviated and full day name), M MM MMM MMMM,
// y yy yyyy (yyy and more than 4 read as yyyy), g gg (era, empty here); text between single quotes
// is copied as it stands ('' is one quote); any other character is copied.
// Null picture: the locale's default short date (from LC_TIME's %x, translated to a picture).
int GetDateFormatW(const SYSTEMTIME* time, const char16_t* picture, char16_t* out, int capacity);

// Time pictures: h hh (12-hour), H HH (24-hour), m mm, s ss, t tt (first letter / whole AM-PM
// designator); quotes as for dates. Null picture: the locale's default time (LC_TIME's %X).
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

// The user's default formats, read from localeconv().
NumberFormat DefaultNumberFormat();
CurrencyFormat DefaultCurrencyFormat();

// `value`: plain text, an optional leading '-', digits, optionally '.' and digits. Any other text
// fails. A null `format` means the default one above.
int GetNumberFormatW(const char16_t* value, const NumberFormat* format, char16_t* out, int capacity);
int GetCurrencyFormatW(const char16_t* value, const CurrencyFormat* format, char16_t* out,
                       int capacity);

}  // namespace platform
