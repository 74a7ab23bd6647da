// UTF-16 helpers: lengths and conversions at the C library's wide (32-bit wchar_t) and narrow
// (UTF-8 file names) boundaries.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Units before the terminator; 0 for null.
size_t U16Length(const char16_t* text);

// UTF-16 -> wchar_t (UTF-32) and back. Unpaired surrogates pass through as single units.
std::wstring ToWide(const char16_t* text, size_t length);
std::wstring ToWide(const std::u16string& text);
std::u16string FromWide(const wchar_t* text, size_t length);
std::u16string FromWide(const std::wstring& text);

// UTF-16 <-> UTF-8 (file names, sockets). Invalid input becomes U+FFFD.
std::string ToUtf8(const char16_t* text, size_t length);
std::string ToUtf8(const std::u16string& text);
std::u16string FromUtf8(const char* text, size_t length);
std::u16string FromUtf8(const std::string& text);

}  // namespace platform
