// UTF-16 <-> UTF-32 (wchar_t) and UTF-16 <-> UTF-8.
#include "platform/text.h"

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool IsSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// Reads one code point from UTF-16 at `i`, advancing `i`. Unpaired surrogates come back alone.
char32_t NextFromUtf16(const char16_t* text, size_t length, size_t& i) {
    char32_t unit = text[i++];
    if (IsHighSurrogate(unit) && i < length && IsLowSurrogate(text[i])) {
        char32_t low = text[i++];
        return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    return unit;
}

void AppendUtf16(std::u16string& out, char32_t point) {
    if (point < 0x10000) {
        out.push_back(static_cast<char16_t>(point));
    } else if (point <= 0x10FFFF) {
        point -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(kReplacement));
    }
}

void AppendUtf8(std::string& out, char32_t point) {
    if (point < 0x80) {
        out.push_back(static_cast<char>(point));
    } else if (point < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (point >> 6)));
        out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else if (point < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (point >> 12)));
        out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (point >> 18)));
        out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    }
}

}  // namespace

size_t U16Length(const char16_t* text) {
    if (text == nullptr) return 0;
    size_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}

std::wstring ToWide(const char16_t* text, size_t length) {
    std::wstring out;
    if (text == nullptr) return out;
    out.reserve(length);
    size_t i = 0;
    while (i < length) out.push_back(static_cast<wchar_t>(NextFromUtf16(text, length, i)));
    return out;
}

std::wstring ToWide(const std::u16string& text) { return ToWide(text.data(), text.size()); }

std::u16string FromWide(const wchar_t* text, size_t length) {
    std::u16string out;
    if (text == nullptr) return out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        const char32_t point = static_cast<char32_t>(text[i]);
        if (IsSurrogate(point)) {
            out.push_back(static_cast<char16_t>(point));  // passes through as it came
        } else {
            AppendUtf16(out, point);
        }
    }
    return out;
}

std::u16string FromWide(const std::wstring& text) { return FromWide(text.data(), text.size()); }

std::string ToUtf8(const char16_t* text, size_t length) {
    std::string out;
    if (text == nullptr) return out;
    out.reserve(length);
    size_t i = 0;
    while (i < length) {
        char32_t point = NextFromUtf16(text, length, i);
        AppendUtf8(out, IsSurrogate(point) ? kReplacement : point);
    }
    return out;
}

std::string ToUtf8(const std::u16string& text) { return ToUtf8(text.data(), text.size()); }

std::u16string FromUtf8(const char* text, size_t length) {
    std::u16string out;
    if (text == nullptr) return out;
    out.reserve(length);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < length) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        size_t extra;
        char32_t point;
        char32_t minimum;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1; point = lead & 0x1F; minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2; point = lead & 0x0F; minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3; point = lead & 0x07; minimum = 0x10000;
        } else {
            out.push_back(static_cast<char16_t>(kReplacement));
            ++i;
            continue;
        }
        size_t taken = 1;
        bool good = true;
        for (; taken <= extra; ++taken) {
            if (i + taken >= length || (bytes[i + taken] & 0xC0) != 0x80) {
                good = false;
                break;
            }
            point = (point << 6) | (bytes[i + taken] & 0x3F);
        }
        if (!good || point < minimum || point > 0x10FFFF || IsSurrogate(point)) {
            // Replace the lead and any continuation bytes that belonged to it.
            out.push_back(static_cast<char16_t>(kReplacement));
            i += good ? taken : (taken > 1 ? taken : 1);
            continue;
        }
        AppendUtf16(out, point);
        i += taken;
    }
    return out;
}

std::u16string FromUtf8(const std::string& text) { return FromUtf8(text.data(), text.size()); }

}  // namespace platform
