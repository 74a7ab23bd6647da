// The Windows date, time, number and currency picture language over the C library's locale.
#include "platform/locale_format.h"

#include <climits>
#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <vector>

#include "platform/oletime.h"
#include "platform/text.h"

namespace platform {
namespace {

// Locale texts come in the locale's multibyte code set: UTF-8 nearly always, else taken as
// Latin-1 byte by byte.
std::u16string FromLocaleText(const char* text) {
    if (text == nullptr) return {};
    const size_t length = std::strlen(text);
    std::u16string utf8 = FromUtf8(text, length);
    if (utf8.find(u'\uFFFD') == std::u16string::npos) return utf8;
    std::u16string latin1;
    for (size_t i = 0; i < length; ++i) latin1.push_back(static_cast<unsigned char>(text[i]));
    return latin1;
}

// Copies `text` and its terminator into `out`, or reports the size needed (capacity 0).
int Emit(const std::u16string& text, char16_t* out, int capacity) {
    const size_t needed = text.size() + 1;
    if (needed > static_cast<size_t>(INT_MAX)) return 0;
    if (capacity == 0) return static_cast<int>(needed);
    if (capacity < 0 || out == nullptr) return 0;
    if (needed > static_cast<size_t>(capacity)) {
        out[0] = 0;
        return 0;
    }
    text.copy(out, text.size());
    out[text.size()] = 0;
    return static_cast<int>(needed);
}

int Fail(char16_t* out, int capacity) {
    if (out != nullptr && capacity > 0) out[0] = 0;
    return 0;
}

void AppendNumber(std::u16string& out, unsigned value, unsigned minDigits) {
    char16_t digits[12];
    int count = 0;
    do {
        digits[count++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (unsigned i = static_cast<unsigned>(count); i < minDigits; ++i) out.push_back(u'0');
    while (count > 0) out.push_back(digits[--count]);
}

// Counts the run of `letter` starting at `i`.
size_t RunLength(const std::u16string_view picture, size_t i) {
    size_t end = i;
    while (end < picture.size() && picture[end] == picture[i]) ++end;
    return end - i;
}

// Handles a quote at picture[i]; returns the index after what it consumed. Text between quotes
// is copied as it stands; two quotes in a row give one quote.
size_t CopyQuoted(const std::u16string_view picture, size_t i, std::u16string& out) {
    ++i;  // opening quote
    if (i < picture.size() && picture[i] == u'\'') {
        out.push_back(u'\'');
        return i + 1;
    }
    while (i < picture.size()) {
        if (picture[i] == u'\'') {
            if (i + 1 < picture.size() && picture[i + 1] == u'\'') {
                out.push_back(u'\'');
                i += 2;
                continue;
            }
            return i + 1;
        }
        out.push_back(picture[i++]);
    }
    return i;  // unterminated: the rest was text
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
    return kDays[month - 1];
}

// Translates a strftime format (D_FMT, T_FMT) into a picture.
std::u16string PictureFromStrftime(const char* format, int depth = 0) {
    std::u16string picture;
    if (format == nullptr || depth > 2) return picture;
    const std::u16string text = FromLocaleText(format);
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c != u'%' || i + 1 >= text.size()) {
            const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
            if (c == u'\'') {
                picture += u"''";
            } else if (letter) {
                picture += u'\'';
                picture += c;
                picture += u'\'';
            } else {
                picture += c;
            }
            continue;
        }
        c = text[++i];
        if ((c == u'E' || c == u'O') && i + 1 < text.size()) c = text[++i];  // alternative forms
        switch (c) {
            case u'd': picture += u"dd"; break;
            case u'e': picture += u"d"; break;
            case u'm': picture += u"MM"; break;
            case u'y': picture += u"yy"; break;
            case u'Y': case u'C': picture += u"yyyy"; break;
            case u'b': case u'h': picture += u"MMM"; break;
            case u'B': picture += u"MMMM"; break;
            case u'a': picture += u"ddd"; break;
            case u'A': picture += u"dddd"; break;
            case u'H': picture += u"HH"; break;
            case u'k': picture += u"H"; break;
            case u'I': picture += u"hh"; break;
            case u'l': picture += u"h"; break;
            case u'M': picture += u"mm"; break;
            case u'S': picture += u"ss"; break;
            case u'p': case u'P': picture += u"tt"; break;
            case u'D': picture += u"MM/dd/yy"; break;
            case u'F': picture += u"yyyy-MM-dd"; break;
            case u'T': picture += u"HH:mm:ss"; break;
            case u'R': picture += u"HH:mm"; break;
            case u'r': picture += PictureFromStrftime(nl_langinfo(T_FMT_AMPM), depth + 1); break;
            case u'x': picture += PictureFromStrftime(nl_langinfo(D_FMT), depth + 1); break;
            case u'X': picture += PictureFromStrftime(nl_langinfo(T_FMT), depth + 1); break;
            case u'n': case u't': picture += u' '; break;
            case u'%': picture += u'%'; break;
            default: break;  // directives without a picture equivalent are left out
        }
    }
    return picture;
}

// ---- numbers ----

struct Digits {
    bool negative = false;
    std::string whole;     // no leading zeros; may be empty
    std::string fraction;  // exactly the digits wanted
};

// Parses "-123.456" and rounds it half away from zero to `numDigits` decimals.
bool ParseAndRound(const char16_t* value, unsigned numDigits, Digits& out) {
    if (value == nullptr) return false;
    size_t i = 0;
    if (value[i] == u'-') {
        out.negative = true;
        ++i;
    }
    std::string whole, fraction;
    while (value[i] >= u'0' && value[i] <= u'9') whole.push_back(static_cast<char>(value[i++]));
    if (value[i] == u'.') {
        ++i;
        while (value[i] >= u'0' && value[i] <= u'9') fraction.push_back(static_cast<char>(value[i++]));
    }
    if (value[i] != 0 || (whole.empty() && fraction.empty())) return false;

    bool roundUp = fraction.size() > numDigits && fraction[numDigits] >= '5';
    fraction.resize(numDigits, '0');
    if (roundUp) {
        std::string all = whole + fraction;
        size_t pos = all.size();
        while (pos > 0) {
            --pos;
            if (all[pos] == '9') {
                all[pos] = '0';
                continue;
            }
            ++all[pos];
            roundUp = false;
            break;
        }
        if (roundUp) all.insert(all.begin(), '1');
        whole = all.substr(0, all.size() - numDigits);
        fraction = all.substr(all.size() - numDigits);
    }
    const size_t firstNonZero = whole.find_first_not_of('0');
    whole = firstNonZero == std::string::npos ? std::string() : whole.substr(firstNonZero);
    // A value that rounds to zero is shown without a sign.
    if (whole.empty() && fraction.find_first_not_of('0') == std::string::npos) out.negative = false;
    out.whole = whole;
    out.fraction = fraction;
    return true;
}

// Group sizes from the Windows grouping number: 3 -> {3, repeat}, 32 -> {3, 2, repeat},
// 30 -> {3, no repeat}, 0 -> none.
std::u16string GroupWhole(const std::string& whole, unsigned grouping, const std::u16string& sep) {
    std::vector<unsigned> sizes;
    for (unsigned g = grouping; g != 0; g /= 10) sizes.insert(sizes.begin(), g % 10);
    bool repeat = true;
    if (!sizes.empty() && sizes.back() == 0) {
        repeat = false;
        sizes.pop_back();
    }
    std::u16string result;
    if (sizes.empty()) {
        for (char c : whole) result.push_back(static_cast<char16_t>(c));
        return result;
    }
    // Walk from the right, collecting groups.
    std::vector<std::u16string> groups;
    size_t end = whole.size();
    size_t index = 0;
    while (end > 0) {
        unsigned size;
        if (index < sizes.size()) {
            size = sizes[index];
        } else if (repeat) {
            size = sizes.back();
        } else {
            size = static_cast<unsigned>(end);
        }
        if (size == 0 || size > end) size = static_cast<unsigned>(end);
        std::u16string group;
        for (size_t k = end - size; k < end; ++k) group.push_back(static_cast<char16_t>(whole[k]));
        groups.push_back(group);
        end -= size;
        ++index;
    }
    for (size_t k = groups.size(); k > 0; --k) {
        result += groups[k - 1];
        if (k > 1) result += sep;
    }
    return result;
}

// The unsigned number text: grouped whole part, decimal separator and decimals.
std::u16string Magnitude(const Digits& digits, unsigned numDigits, unsigned leadingZero,
                         unsigned grouping, const std::u16string& decimalSep,
                         const std::u16string& thousandSep) {
    std::u16string text;
    if (!digits.whole.empty()) {
        text = GroupWhole(digits.whole, grouping, thousandSep);
    } else if (leadingZero != 0 || numDigits == 0) {
        text = u"0";
    }
    if (numDigits > 0) {
        text += decimalSep;
        for (char c : digits.fraction) text.push_back(static_cast<char16_t>(c));
    }
    return text;
}

unsigned GroupingFromLconv(const char* grouping) {
    if (grouping == nullptr || *grouping == 0 || *grouping == CHAR_MAX) return 0;
    std::vector<unsigned> sizes;
    bool repeat = true;
    for (const char* g = grouping; *g != 0; ++g) {
        if (*g == CHAR_MAX || *g < 0) {
            repeat = false;
            break;
        }
        sizes.push_back(static_cast<unsigned>(*g) > 9 ? 9u : static_cast<unsigned>(*g));
    }
    if (repeat) {
        while (sizes.size() > 1 && sizes[sizes.size() - 1] == sizes[sizes.size() - 2]) sizes.pop_back();
    }
    unsigned result = 0;
    for (unsigned size : sizes) result = result * 10 + size;
    if (!repeat) result *= 10;
    return result;
}

unsigned CurrencyPositiveOrder(char precedes, char separated) {
    if (precedes == CHAR_MAX || separated == CHAR_MAX) return 0;
    const bool before = precedes != 0, space = separated != 0;
    return before ? (space ? 2 : 0) : (space ? 3 : 1);
}

unsigned CurrencyNegativeOrder(char precedes, char separated, char signPosition) {
    if (precedes == CHAR_MAX || separated == CHAR_MAX || signPosition == CHAR_MAX) return 1;
    const int position = signPosition < 0 || signPosition > 4 ? 1 : signPosition;
    // Rows: symbol before without space, before with space, after without, after with space.
    // Columns: the C library's sign positions 0 (parentheses) .. 4 (sign right after symbol).
    static const unsigned kOrders[4][5] = {
        {0, 1, 3, 1, 2},
        {14, 9, 11, 9, 12},
        {4, 5, 7, 6, 7},
        {15, 8, 10, 13, 10},
    };
    const int row = (precedes != 0 ? 0 : 2) + (separated != 0 ? 1 : 0);
    return kOrders[row][position];
}

constexpr unsigned kMaxDigits = 9;

}  // namespace

int GetDateFormatW(const SYSTEMTIME* time, const char16_t* picture, char16_t* out, int capacity) {
    if (time == nullptr || capacity < 0) return Fail(out, capacity);
    if (time->wMonth < 1 || time->wMonth > 12 || time->wDay < 1 ||
        time->wDay > DaysInMonth(time->wYear, time->wMonth)) {
        return Fail(out, capacity);
    }
    const std::u16string defaultPicture =
        picture == nullptr ? PictureFromStrftime(nl_langinfo(D_FMT)) : std::u16string();
    const std::u16string_view pic = picture == nullptr
                                        ? std::u16string_view(defaultPicture)
                                        : std::u16string_view(picture, U16Length(picture));
    const int weekday = DayOfWeek(time->wYear, time->wMonth, time->wDay);
    std::u16string text;
    size_t i = 0;
    while (i < pic.size()) {
        const char16_t c = pic[i];
        if (c == u'\'') {
            i = CopyQuoted(pic, i, text);
            continue;
        }
        const size_t run = (c == u'd' || c == u'M' || c == u'y' || c == u'g') ? RunLength(pic, i) : 1;
        switch (c) {
            case u'd':
                if (run == 1) AppendNumber(text, time->wDay, 1);
                else if (run == 2) AppendNumber(text, time->wDay, 2);
                else if (run == 3) text += FromLocaleText(nl_langinfo(static_cast<nl_item>(ABDAY_1 + weekday)));
                else text += FromLocaleText(nl_langinfo(static_cast<nl_item>(DAY_1 + weekday)));
                break;
            case u'M':
                if (run == 1) AppendNumber(text, time->wMonth, 1);
                else if (run == 2) AppendNumber(text, time->wMonth, 2);
                else if (run == 3) text += FromLocaleText(nl_langinfo(static_cast<nl_item>(ABMON_1 + time->wMonth - 1)));
                else text += FromLocaleText(nl_langinfo(static_cast<nl_item>(MON_1 + time->wMonth - 1)));
                break;
            case u'y':
                if (run == 1) AppendNumber(text, time->wYear % 100, 1);
                else if (run == 2) AppendNumber(text, time->wYear % 100, 2);
                else AppendNumber(text, time->wYear, 4);
                break;
            case u'g':
                break;  // no era in these calendars
            default:
                text.push_back(c);
                break;
        }
        i += run;
    }
    return Emit(text, out, capacity);
}

int GetTimeFormatW(const SYSTEMTIME* time, const char16_t* picture, char16_t* out, int capacity) {
    if (time == nullptr || capacity < 0) return Fail(out, capacity);
    if (time->wHour >= 24 || time->wMinute >= 60 || time->wSecond >= 60 ||
        time->wMilliseconds >= 1000) {
        return Fail(out, capacity);
    }
    const std::u16string defaultPicture =
        picture == nullptr ? PictureFromStrftime(nl_langinfo(T_FMT)) : std::u16string();
    const std::u16string_view pic = picture == nullptr
                                        ? std::u16string_view(defaultPicture)
                                        : std::u16string_view(picture, U16Length(picture));
    const std::u16string designator =
        FromLocaleText(nl_langinfo(time->wHour < 12 ? AM_STR : PM_STR));
    std::u16string text;
    size_t i = 0;
    while (i < pic.size()) {
        const char16_t c = pic[i];
        if (c == u'\'') {
            i = CopyQuoted(pic, i, text);
            continue;
        }
        const bool field = c == u'h' || c == u'H' || c == u'm' || c == u's' || c == u't';
        const size_t run = field ? RunLength(pic, i) : 1;
        const unsigned width = run >= 2 ? 2 : 1;
        switch (c) {
            case u'h': {
                const unsigned hour12 = time->wHour % 12 == 0 ? 12u : time->wHour % 12u;
                AppendNumber(text, hour12, width);
                break;
            }
            case u'H': AppendNumber(text, time->wHour, width); break;
            case u'm': AppendNumber(text, time->wMinute, width); break;
            case u's': AppendNumber(text, time->wSecond, width); break;
            case u't':
                if (run == 1) {
                    if (!designator.empty()) text.push_back(designator[0]);
                } else {
                    text += designator;
                }
                break;
            default: text.push_back(c); break;
        }
        i += run;
    }
    return Emit(text, out, capacity);
}

NumberFormat DefaultNumberFormat() {
    NumberFormat format;
    const lconv* conv = localeconv();
    const std::u16string decimal = FromLocaleText(conv->decimal_point);
    const std::u16string thousands = FromLocaleText(conv->thousands_sep);
    const unsigned grouping = GroupingFromLconv(conv->grouping);
    format.decimalSep = decimal.empty() ? u"." : decimal;
    if (thousands.empty() && grouping == 0) {
        // The "C" locale defines no grouping at all: fall back to the Windows default.
        format.thousandSep = u",";
        format.grouping = 3;
    } else {
        format.thousandSep = thousands;
        format.grouping = grouping;
    }
    return format;
}

CurrencyFormat DefaultCurrencyFormat() {
    CurrencyFormat format;
    const lconv* conv = localeconv();
    const std::u16string decimal = FromLocaleText(conv->mon_decimal_point);
    format.decimalSep = decimal.empty() ? u"." : decimal;
    format.thousandSep = FromLocaleText(conv->mon_thousands_sep);
    format.grouping = GroupingFromLconv(conv->mon_grouping);
    format.currencySymbol = FromLocaleText(conv->currency_symbol);
    format.numDigits = conv->frac_digits == CHAR_MAX || conv->frac_digits < 0
                           ? 2u
                           : static_cast<unsigned>(conv->frac_digits);
    if (format.numDigits > kMaxDigits) format.numDigits = kMaxDigits;
    format.positiveOrder = CurrencyPositiveOrder(conv->p_cs_precedes, conv->p_sep_by_space);
    format.negativeOrder =
        CurrencyNegativeOrder(conv->n_cs_precedes, conv->n_sep_by_space, conv->n_sign_posn);
    return format;
}

int GetNumberFormatW(const char16_t* value, const NumberFormat* format, char16_t* out, int capacity) {
    if (capacity < 0) return Fail(out, capacity);
    const NumberFormat fmt = format != nullptr ? *format : DefaultNumberFormat();
    if (fmt.numDigits > kMaxDigits || fmt.negativeOrder > 4) return Fail(out, capacity);
    Digits digits;
    if (!ParseAndRound(value, fmt.numDigits, digits)) return Fail(out, capacity);
    const std::u16string number = Magnitude(digits, fmt.numDigits, fmt.leadingZero, fmt.grouping,
                                            fmt.decimalSep, fmt.thousandSep);
    std::u16string text;
    if (!digits.negative) {
        text = number;
    } else {
        switch (fmt.negativeOrder) {
            case 0: text = u"(" + number + u")"; break;
            case 1: text = u"-" + number; break;
            case 2: text = u"- " + number; break;
            case 3: text = number + u"-"; break;
            default: text = number + u" -"; break;
        }
    }
    return Emit(text, out, capacity);
}

int GetCurrencyFormatW(const char16_t* value, const CurrencyFormat* format, char16_t* out,
                       int capacity) {
    if (capacity < 0) return Fail(out, capacity);
    const CurrencyFormat fmt = format != nullptr ? *format : DefaultCurrencyFormat();
    if (fmt.numDigits > kMaxDigits || fmt.negativeOrder > 15 || fmt.positiveOrder > 3) {
        return Fail(out, capacity);
    }
    Digits digits;
    if (!ParseAndRound(value, fmt.numDigits, digits)) return Fail(out, capacity);
    const std::u16string n = Magnitude(digits, fmt.numDigits, fmt.leadingZero, fmt.grouping,
                                       fmt.decimalSep, fmt.thousandSep);
    const std::u16string& s = fmt.currencySymbol;
    std::u16string text;
    if (!digits.negative) {
        switch (fmt.positiveOrder) {
            case 0: text = s + n; break;
            case 1: text = n + s; break;
            case 2: text = s + u" " + n; break;
            default: text = n + u" " + s; break;
        }
    } else {
        switch (fmt.negativeOrder) {
            case 0: text = u"(" + s + n + u")"; break;
            case 1: text = u"-" + s + n; break;
            case 2: text = s + u"-" + n; break;
            case 3: text = s + n + u"-"; break;
            case 4: text = u"(" + n + s + u")"; break;
            case 5: text = u"-" + n + s; break;
            case 6: text = n + u"-" + s; break;
            case 7: text = n + s + u"-"; break;
            case 8: text = u"-" + n + u" " + s; break;
            case 9: text = u"-" + s + u" " + n; break;
            case 10: text = n + u" " + s + u"-"; break;
            case 11: text = s + u" " + n + u"-"; break;
            case 12: text = s + u" -" + n; break;
            case 13: text = n + u"- " + s; break;
            case 14: text = u"(" + s + u" " + n + u")"; break;
            default: text = u"(" + n + u" " + s + u")"; break;
        }
    }
    return Emit(text, out, capacity);
}

}  // namespace platform
