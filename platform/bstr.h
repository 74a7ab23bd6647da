// OLE Automation BSTR on the C heap.
//
// A BSTR points at the first UTF-16 unit of its text. The 32-bit byte length of the text is
// stored in the four bytes before it, and a 0 unit follows the text. A null BSTR is distinct from
// an empty one. Text allocated by one module (the client library) may be freed by another (its
// caller): all of them use malloc/free underneath.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

extern "C" {

// A new BSTR holding `length` units copied from `text` (or left zero when `text` is null).
// Returns null only when memory is exhausted. The caller frees it with SysFreeString.
BSTR SysAllocStringLen(const char16_t* text, uint32_t length);

// A new BSTR copied from zero-terminated `text`; null text gives null.
BSTR SysAllocString(const char16_t* text);

// Frees a BSTR; null is accepted and ignored.
void SysFreeString(BSTR text);

// The length in units; 0 for null.
uint32_t SysStringLen(BSTR text);

}  // extern "C"
