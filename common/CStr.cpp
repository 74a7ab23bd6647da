// CStr: 16-bit text behind a 16-bit length. See CStr.h.
//
// Limits: the length never passes kMaxLength (32767). Appends and pads that would pass it leave
// the text unchanged; assignments, the counted constructor and formatting keep the first 32767
// characters of longer text; ToHex of more than 16383 characters leaves the text unchanged.

#include "common/CStr.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/bstr.h"
#include "platform/strings.h"
#include "platform/text.h"

namespace {

constexpr int kFormatArea = 1024;  // characters kept by Format / FormatWide

char16_t g_spare = 0;  // what At() hands out for positions outside the text

const char kNullNarrow[] = "<null>";
const char16_t kNullWide[] = u"<null>";
char16_t g_emptyWide[1] = {0};

int ClampLength(size_t n) { return n > size_t(CStr::kMaxLength) ? CStr::kMaxLength : int(n); }

// Accent folding for one character (DOS code pages 437/850 at 128..165, Latin-1 above).
char16_t Fold(char16_t c) {
    switch (c) {
    case 128: case 199: return u'C';
    case 135: case 231: return u'c';
    case 144: case 200: case 201: case 202: return u'E';
    case 130: case 136: case 138: case 232: case 233: case 234: return u'e';
    case 192: case 193: case 194: case 195: return u'A';
    case 131: case 133: case 160: case 224: case 225: case 226: case 227: return u'a';
    case 204: case 205: case 206: return u'I';
    case 140: case 141: case 161: case 236: case 237: case 238: return u'i';
    case 210: case 211: case 212: case 213: return u'O';
    case 147: case 149: case 162: case 242: case 243: case 244: case 245: return u'o';
    case 217: case 218: case 219: case 220: return u'U';
    case 150: case 151: case 163: case 249: case 250: case 251: case 252: return u'u';
    case 165: case 209: return u'N';
    case 164: case 241: return u'n';
    default: return c;
    }
}

bool IsAccentedLower(char16_t c) {
    return (c >= 224 && c <= 227) || (c >= 231 && c <= 234) || (c >= 236 && c <= 238) ||
           (c >= 241 && c <= 245) || (c >= 249 && c <= 252);
}

bool IsAccentedUpper(char16_t c) { return IsAccentedLower(char16_t(c + 32)); }

// The C library's toupper, kept to the range it is defined for.
int Upper(char16_t c) { return c < 256 ? std::toupper(c) : c; }

}  // namespace

CStr::CStr() = default;

CStr::CStr(const char* text) { Assign(text); }

CStr::CStr(const char* text, int count) {
    if (text == nullptr) return;
    if (count < 0) count = 0;
    if (count > kMaxLength) count = kMaxLength;
    Reserve(count, false);
    // Each step converts one character from the bytes left; in a single-byte locale that is one
    // byte, so the length becomes count. A byte the locale rejects is taken as the character of
    // its value, a zero byte as character 0.
    std::mbstate_t state{};
    int n = 0;
    int i = 0;
    while (i < count) {
        wchar_t wc = 0;
        size_t used = std::mbrtowc(&wc, text + i, size_t(count - i), &state);
        if (used == size_t(-1) || used == size_t(-2)) {
            state = std::mbstate_t{};
            wc = static_cast<unsigned char>(text[i]);
            used = 1;
        } else if (used == 0) {
            used = 1;
        }
        wide_[1 + n++] = char16_t(wc);
        i += int(used);
    }
    SetLength(n);
}

CStr::CStr(const char16_t* wideText) { Assign(wideText); }

CStr::CStr(const CStr& other) { Assign(other); }

CStr::CStr(unsigned resourceId) { LoadString(resourceId); }

CStr::~CStr() { Clear(); }

void CStr::Assign(const CStr& other) {
    if (&other == this) return;
    if (other.IsNull()) {
        Clear();
        return;
    }
    Assign(other.wide_ + 1, other.Length());
}

void CStr::Assign(const char* text) {
    if (text == nullptr) {
        Clear();
        return;
    }
    int n = ClampLength(std::strlen(text));
    // The source may live in our own narrow buffer; the wide buffer is separate.
    Reserve(n, false);
    for (int i = 0; i < n; ++i) wide_[1 + i] = static_cast<unsigned char>(text[i]);
    SetLength(n);
}

void CStr::Assign(const char16_t* wideText) {
    if (wideText == nullptr) {
        Clear();
        return;
    }
    size_t n = 0;
    while (wideText[n] != 0 && n < size_t(kMaxLength)) ++n;
    Assign(wideText, int(n));
}

void CStr::Assign(const char16_t* wideText, int count) {
    if (wideText == nullptr) {
        Clear();
        return;
    }
    if (count < 0) count = 0;
    if (count > kMaxLength) count = kMaxLength;
    // Text taken from our own buffer: copy it aside before the buffer may be replaced.
    if (wide_ != nullptr && wideText >= wide_ && wideText < wide_ + capacity_) {
        std::u16string copy(wideText, size_t(count));
        Reserve(count, false);
        std::memcpy(wide_ + 1, copy.data(), size_t(count) * sizeof(char16_t));
    } else {
        Reserve(count, false);
        std::memcpy(wide_ + 1, wideText, size_t(count) * sizeof(char16_t));
    }
    SetLength(count);
}

void CStr::Clear() {
    std::free(wide_);
    std::free(narrow_);
    wide_ = nullptr;
    capacity_ = 0;
    narrow_ = nullptr;
    narrowCapacity_ = 0;
}

bool CStr::LoadString(unsigned id, const void* module) {
    Reserve(256, false);
    int n = platform::LoadString(module, id, wide_ + 1, 257);
    if (n < 0) n = 0;
    if (n > 256) n = 256;
    SetLength(n);
    return n != 0;
}

void CStr::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CStr::FormatV(const char* format, va_list args) {
    if (format == nullptr) {
        Clear();
        return;
    }
    // vsnprintf never writes past the area and always terminates; one byte beyond the 1024
    // characters holds the terminator.
    char area[kFormatArea + 1];
    area[0] = 0;
    std::vsnprintf(area, sizeof area, format, args);
    area[kFormatArea] = 0;
    Assign(area);
}

void CStr::FormatWide(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    FormatWideV(format, args);
    va_end(args);
}

void CStr::FormatWideV(const char16_t* format, va_list args) {
    if (format == nullptr) {
        Clear();
        return;
    }
    std::wstring wideFormat = platform::ToWide(format, platform::U16Length(format));
    // vswprintf returns -1 when the output does not fit; what it wrote before that is kept, up to
    // the 1024 characters of the area.
    wchar_t area[kFormatArea + 1];
    std::wmemset(area, 0, kFormatArea + 1);
    std::vswprintf(area, kFormatArea + 1, wideFormat.c_str(), args);
    area[kFormatArea] = 0;
    std::u16string text = platform::FromWide(area, std::wcslen(area));
    if (text.size() > size_t(kFormatArea)) text.resize(kFormatArea);
    Assign(text.c_str(), int(text.size()));
}

int CStr::Length() const { return wide_ == nullptr ? 0 : static_cast<int16_t>(wide_[0]); }

const char16_t* CStr::Wide() const { return wide_ == nullptr ? kNullWide : wide_ + 1; }

const char* CStr::Narrow() {
    if (wide_ == nullptr) return kNullNarrow;
    int n = Length();
    if (narrowCapacity_ < n + 1) {
        char* grown = static_cast<char*>(std::realloc(narrow_, size_t(n) + 1));
        if (grown == nullptr) return "";
        narrow_ = grown;
        narrowCapacity_ = n + 1;
    }
    for (int i = 0; i < n; ++i) narrow_[i] = static_cast<char>(wide_[1 + i] & 0xFF);
    narrow_[n] = 0;
    return narrow_;
}

char16_t& CStr::At(int position) {
    if (wide_ == nullptr || position < 1 || position > Length()) return g_spare;
    return wide_[position];
}

BSTR CStr::ToBSTR() const {
    if (wide_ == nullptr) return SysAllocStringLen(g_emptyWide, 0);
    return SysAllocStringLen(wide_ + 1, uint32_t(Length()));
}

void CStr::Append(const CStr& other) {
    if (other.IsNull()) return;
    int add = other.Length();
    int n = Length();
    if (n + add > kMaxLength) return;
    if (&other == this) {
        std::u16string copy(wide_ + 1, size_t(add));
        Reserve(n + add, true);
        std::memcpy(wide_ + 1 + n, copy.data(), size_t(add) * sizeof(char16_t));
    } else {
        Reserve(n + add, true);
        std::memcpy(wide_ + 1 + n, other.wide_ + 1, size_t(add) * sizeof(char16_t));
    }
    SetLength(n + add);
}

void CStr::Append(const char* text) {
    if (text == nullptr || text[0] == 0) return;
    size_t add = std::strlen(text);
    int n = Length();
    if (size_t(n) + add > size_t(kMaxLength)) return;
    Reserve(n + int(add), true);
    for (size_t i = 0; i < add; ++i) wide_[1 + n + i] = static_cast<unsigned char>(text[i]);
    SetLength(n + int(add));
}

void CStr::AppendChar(char16_t c) {
    int n = Length();
    if (n >= kMaxLength) return;
    Reserve(n + 1, true);
    wide_[1 + n] = c;
    SetLength(n + 1);
}

void CStr::Mid(int start, int count) {
    if (wide_ == nullptr) return;
    int n = Length();
    if (start < 1) start = 1;
    if (count < 0 || start > n) {
        SetLength(0);
        return;
    }
    if (count > n - start + 1) count = n - start + 1;
    std::memmove(wide_ + 1, wide_ + start, size_t(count) * sizeof(char16_t));
    SetLength(count);
}

void CStr::PadRight(int count, char16_t c) {
    if (count > kMaxLength) return;
    int n = Length();
    if (wide_ == nullptr) Reserve(0, false);
    if (n >= count) return;
    Reserve(count, true);
    for (int i = n; i < count; ++i) wide_[1 + i] = c;
    SetLength(count);
}

void CStr::PadLeft(int count, char16_t c) {
    if (count > kMaxLength) return;
    int n = Length();
    if (wide_ == nullptr) Reserve(0, false);
    if (n >= count) return;
    Reserve(count, true);
    int shift = count - n;
    std::memmove(wide_ + 1 + shift, wide_ + 1, size_t(n) * sizeof(char16_t));
    for (int i = 0; i < shift; ++i) wide_[1 + i] = c;
    SetLength(count);
}

void CStr::Fill(int count, char16_t c) {
    if (count < 0) count = 0;
    if (count > kMaxLength) count = kMaxLength;
    Reserve(count, false);
    for (int i = 0; i < count; ++i) wide_[1 + i] = c;
    SetLength(count);
}

void CStr::TrimLeft() {
    if (wide_ == nullptr) return;
    int n = Length();
    int skip = 0;
    while (skip < n && wide_[1 + skip] == u' ') ++skip;
    if (skip == 0) return;
    std::memmove(wide_ + 1, wide_ + 1 + skip, size_t(n - skip) * sizeof(char16_t));
    SetLength(n - skip);
}

void CStr::TrimRight() {
    if (wide_ == nullptr) return;
    int n = Length();
    while (n > 0 && wide_[n] == u' ') --n;
    SetLength(n);
}

void CStr::Remove(const char16_t* set) {
    if (wide_ == nullptr || set == nullptr) return;
    int n = Length();
    int kept = 0;
    for (int i = 0; i < n; ++i) {
        char16_t c = wide_[1 + i];
        bool drop = false;
        for (const char16_t* s = set; *s != 0; ++s) {
            if (*s == c) {
                drop = true;
                break;
            }
        }
        if (!drop) wide_[1 + kept++] = c;
    }
    SetLength(kept);
}

void CStr::ToUpper() {
    if (wide_ == nullptr) return;
    int n = Length();
    for (int i = 1; i <= n; ++i) {
        char16_t c = wide_[i];
        if ((c >= u'a' && c <= u'z') || IsAccentedLower(c)) wide_[i] = char16_t(c - 32);
    }
}

void CStr::ToLower() {
    if (wide_ == nullptr) return;
    int n = Length();
    for (int i = 1; i <= n; ++i) {
        char16_t c = wide_[i];
        if ((c >= u'A' && c <= u'Z') || IsAccentedUpper(c)) wide_[i] = char16_t(c + 32);
    }
}

void CStr::FoldAccents() {
    if (wide_ == nullptr) return;
    int n = Length();
    for (int i = 1; i <= n; ++i) wide_[i] = Fold(wide_[i]);
}

void CStr::ToHex() {
    if (wide_ == nullptr) return;
    int n = Length();
    if (2 * n > kMaxLength) return;
    static const char16_t digits[] = u"0123456789ABCDEF";
    Reserve(2 * n, true);
    // From the end backwards, so each character is read before its place is overwritten.
    for (int i = n - 1; i >= 0; --i) {
        unsigned byte = wide_[1 + i] & 0xFF;
        wide_[1 + 2 * i] = digits[byte >> 4];
        wide_[2 + 2 * i] = digits[byte & 0xF];
    }
    SetLength(2 * n);
}

int CStr::CompareNoCase(const CStr& other) const {
    int n = Length();
    int m = other.Length();
    for (int i = 1; i <= n && i <= m; ++i) {
        int a = Upper(wide_[i]);
        int b = Upper(other.wide_[i]);
        if (a != b) return a < b ? -1 : 1;
    }
    if (n == m) return 0;
    return n < m ? -1 : 1;
}

int CStr::Compare(const char* text) const {
    if (text == nullptr) return -1;
    int n = Length();
    for (int i = 0;; ++i) {
        int b = static_cast<unsigned char>(text[i]);
        if (i == n) return b == 0 ? 0 : -1;
        if (b == 0) return 1;
        int a = wide_[1 + i];
        if (a != b) return a < b ? -1 : 1;
    }
}

int CStr::Find(const CStr& needle, int start) const {
    if (wide_ == nullptr) return 0;
    if (start < 1) start = 1;
    int n = Length();
    int m = needle.Length();
    if (m == 0) return start <= n + 1 ? start : 0;
    for (int p = start; p + m - 1 <= n; ++p) {
        if (std::memcmp(wide_ + p, needle.wide_ + 1, size_t(m) * sizeof(char16_t)) == 0) return p;
    }
    return 0;
}

// Number scans. Digits accumulate in unsigned arithmetic: text with more digits than the type
// holds wraps around (the low bits of the exact value, as two's complement would give) instead of
// overflowing into undefined behaviour.
namespace {

template <typename U>
U ScanDecimal(const char16_t* p, int n, bool* negative) {
    U value = 0;
    *negative = false;
    for (int i = 0; i < n; ++i) {
        char16_t c = p[i];
        if (c == u' ' || c == u',') continue;
        if (c == u'+') {
            *negative = false;
        } else if (c == u'-') {
            *negative = true;
        } else if (c >= u'0' && c <= u'9') {
            value = U(value * 10u + U(c - u'0'));
        } else {
            break;
        }
    }
    return *negative ? U(0u - value) : value;
}

}  // namespace

int32_t CStr::ToInt() const {
    if (wide_ == nullptr) return 0;
    bool negative = false;
    return static_cast<int32_t>(ScanDecimal<uint32_t>(wide_ + 1, Length(), &negative));
}

int64_t CStr::ToInt64() const {
    if (wide_ == nullptr) return 0;
    bool negative = false;
    return static_cast<int64_t>(ScanDecimal<uint64_t>(wide_ + 1, Length(), &negative));
}

int64_t CStr::HexToInt64() const {
    if (wide_ == nullptr) return 0;
    int n = Length();
    const char16_t* p = wide_ + 1;
    int i = 0;
    while (i < n && (p[i] == u' ' || p[i] == u'0' || p[i] == u'X' || p[i] == u'x')) ++i;
    uint64_t value = 0;
    for (; i < n; ++i) {
        char16_t c = p[i];
        unsigned digit;
        if (c >= u'0' && c <= u'9') digit = c - u'0';
        else if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
        else break;
        value = value * 16u + digit;
    }
    return static_cast<int64_t>(value);
}

double CStr::ToDouble() const {
    if (wide_ == nullptr) return 0.0;
    int n = Length();
    const char16_t* p = wide_ + 1;
    double value = 0.0;
    double divisor = 10.0;
    bool fraction = false;
    bool negative = false;
    bool minusSeen = false;
    for (int i = 0; i < n; ++i) {
        char16_t c = p[i];
        if (c == u' ' || c == u',') continue;
        if (c == u'.') {
            if (fraction) break;
            fraction = true;
        } else if (c == u'+' || c == u'-') {
            if (value > 0.0) break;
            if (c == u'+') {
                negative = false;
            } else {
                if (minusSeen) break;
                minusSeen = true;
                negative = true;
            }
        } else if (c >= u'0' && c <= u'9') {
            int digit = c - u'0';
            if (fraction) {
                value += digit / divisor;
                divisor *= 10.0;
            } else {
                value = value * 10.0 + digit;
            }
        } else {
            break;
        }
    }
    return negative ? -value : value;
}

void CStr::Reserve(int n, bool keep) {
    if (wide_ != nullptr && capacity_ >= n + 2) return;
    int capacity = ((n + 1) / 32 + 1) * 32;
    auto* grown = static_cast<char16_t*>(std::malloc(size_t(capacity) * sizeof(char16_t)));
    if (grown == nullptr) std::abort();
    if (keep && wide_ != nullptr) {
        std::memcpy(grown, wide_, size_t(Length() + 2) * sizeof(char16_t));
    } else {
        grown[0] = 0;
        grown[1] = 0;
    }
    std::free(wide_);
    wide_ = grown;
    capacity_ = capacity;
}

void CStr::SetLength(int n) {
    wide_[0] = char16_t(n);
    wide_[1 + n] = 0;
}
