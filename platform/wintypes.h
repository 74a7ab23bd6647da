// The Windows value types the system's code is written against, with their Windows layouts.
#pragma once

#include <cstdint>

using WCHAR = char16_t;   // one UTF-16 unit, as on Windows
using BSTR = char16_t*;   // OLE Automation text; see bstr.h
using DATE = double;      // OLE Automation date: days since 30 December 1899

struct SYSTEMTIME {
    uint16_t wYear;
    uint16_t wMonth;      // 1..12
    uint16_t wDayOfWeek;  // 0 = Sunday
    uint16_t wDay;        // 1..31
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};

// 100-nanosecond intervals since 1 January 1601, split in two 32-bit halves.
struct FILETIME {
    uint32_t dwLowDateTime;
    uint32_t dwHighDateTime;
};
