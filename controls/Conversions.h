// Conversions between the client library's values (BSTR text, DATE doubles) and Qt's (QString,
// QDateTime), and the component's own string table.
//
// None of these functions keeps state; all may be called from any thread.
#pragma once

#include <QDateTime>
#include <QString>

#include "controls/varnel_export.h"

// OLE Automation types as the client library declares them (platform/wintypes.h); repeating an
// identical alias is allowed, so this header needs nothing from the library.
using BSTR = char16_t*;
using DATE = double;

namespace Varnel {

// The smallest and largest date-times. DateTime2DATE sends the no-date value -1.0 for them:
// hosts pass them when they mean "no date".
VARNEL_EXPORT QDateTime MinDateTime();  // 0001-01-01 00:00:00.000 local time
VARNEL_EXPORT QDateTime MaxDateTime();  // 9999-12-31 23:59:59.999 local time

// The text of bStr up to its first NUL character (the length prefix is not consulted).
// A null BSTR gives "" (empty, not null). bStr is not released: the caller frees it.
VARNEL_EXPORT QString BSTR2String(const char16_t* bStr);

// A new BSTR of exactly pStr's length, owned by the caller (free it with SysFreeString).
// A null string gives a null BSTR; an empty one an allocated empty BSTR.
VARNEL_EXPORT BSTR String2BSTR(const QString& pStr);

// The local date-time of an OLE Automation date, as the framework converts it:
//   0.0 -> 1899-12-30 00:00,  -1.0 -> 1899-12-29 00:00,  -1.25 -> 1899-12-29 06:00.
// A DATE outside the years 1 to 9999 (or NaN) gives a null QDateTime.
VARNEL_EXPORT QDateTime DATE2DateTime(DATE date);

// The OLE Automation date of a local date-time: -1.0 for a value at or below MinDateTime(), at or
// above MaxDateTime(), or invalid (null); -1.0 also for dates before 100-03-01, which an OLE
// Automation date cannot hold.
VARNEL_EXPORT DATE DateTime2DATE(const QDateTime& dt);

// The text of string ResourceID (3 to 19) in the user-interface language (English, Spanish or
// Portuguese of Brazil, picked from QLocale().uiLanguages(); English when none matches).
// Native form: fills wBuff (260 units) with at most 259 characters and a NUL, returns wBuff.
// Unknown ids give "" (wBuff[0] is NUL).
inline constexpr int kResourceBufferSize = 260;
VARNEL_EXPORT char16_t* StringFromResource(int ResourceID, char16_t* wBuff);
VARNEL_EXPORT QString StringFromResource(int ResourceID);

}  // namespace Varnel
