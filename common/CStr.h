// CStr: the support library's text value.
//
// Text is held as 16-bit characters behind a 16-bit length (0..32767). The null state (no buffer)
// is distinct from the empty text. Positions are 1-based. Narrow text is one byte per character
// (bytes 0..255 are the characters of the same value); narrowing keeps the low 8 bits.
// Copies are deep. Not thread-safe: one CStr belongs to one thread at a time.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "platform/wintypes.h"

class CStr {
public:
    static constexpr int kMaxLength = 32767;

    CStr();                                  // null
    CStr(const char* text);                  // null text: null; else Assign(text)
    CStr(const char* text, int count);       // exactly count bytes through mbtowc conversion
    CStr(const char16_t* wideText);          // null: null; else Assign(wideText)
    CStr(const CStr& other);
    explicit CStr(unsigned resourceId);      // LoadString(resourceId) from the program's table
    ~CStr();
    CStr& operator=(const CStr& other) { Assign(other); return *this; }

    void Assign(const CStr& other);
    void Assign(const char* text);
    void Assign(const char16_t* wideText);
    void Assign(const char16_t* wideText, int count);
    void Clear();

    // Loads string `id` of `module` (null: the program). True when it has characters.
    bool LoadString(unsigned id, const void* module = nullptr);

    // printf-style formatting into a 1024-unit area; longer output is cut at 1024 characters.
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* format, va_list args);
    // Wide formatting (vswprintf rules: %ls for wide text, %s for narrow), cut at 1024 characters.
    void FormatWide(const char16_t* format, ...);
    void FormatWideV(const char16_t* format, va_list args);

    // Reading.
    int Length() const;                      // 0 for null
    bool IsNull() const { return wide_ == nullptr; }
    const char16_t* Wide() const;            // "<null>" for null; valid until the next change
    const char* Narrow();                    // "<null>" for null; valid until the next Narrow/Clear
    char16_t& At(int position);              // out of 1..Length(): a program-wide spare character
    BSTR ToBSTR() const;                     // new BSTR (empty for null); the caller frees it

    // Changing in place. Appends, pads and Fill also work from null; the rest do nothing on null.
    void Append(const CStr& other);
    void Append(const char* text);
    void AppendChar(char16_t c);
    void Mid(int start, int count);
    void PadRight(int count, char16_t c);
    void PadLeft(int count, char16_t c);
    void Fill(int count, char16_t c);
    void TrimLeft();
    void TrimRight();
    void Remove(const char16_t* set);
    void ToUpper();
    void ToLower();
    void FoldAccents();
    void ToHex();

    // Comparing and searching.
    int CompareNoCase(const CStr& other) const;   // -1, 0, 1
    bool EqualsNoCase(const CStr& other) const { return CompareNoCase(other) == 0; }
    bool DiffersNoCase(const CStr& other) const { return CompareNoCase(other) != 0; }
    int Compare(const char* text) const;          // case-sensitive; null text gives -1
    int Find(const CStr& needle, int start = 1) const;  // 1-based position or 0

    // Numbers: the scan never fails, it stops at the first character it does not take.
    int32_t ToInt() const;
    int64_t ToInt64() const;
    int64_t HexToInt64() const;
    double ToDouble() const;

    // Capacity of the wide buffer in units (length unit and terminator included); for tests and
    // benchmarks of the growth rule.
    int Capacity() const { return capacity_; }

private:
    // Makes room for n characters (n + 2 units); keep: copy the content across a reallocation.
    void Reserve(int n, bool keep);
    void SetLength(int n);

    char16_t* wide_ = nullptr;   // [0] length, [1..length] characters, [length + 1] 0
    int capacity_ = 0;
    char* narrow_ = nullptr;
    int narrowCapacity_ = 0;
};
