// BSTR and DATE conversions and the string table of the component library.
#include "controls/Conversions.h"

#include <QLocale>
#include <QStringList>

#include <cmath>
#include <string>

#include "platform/bstr.h"

namespace Varnel {

namespace {

constexpr qint64 kMillisPerDay = 86400000;
// The OLE Automation epoch, day 0.0.
const QDate kEpoch(1899, 12, 30);
// Days of 0100-01-01 and of 10000-01-01 relative to the epoch: the range a DATE may hold.
constexpr double kMinOADate = -657435.0;
constexpr double kMaxOADate = 2958466.0;
// 0100-03-01 00:00 as milliseconds from the epoch: the first instant a DATE can express
// (the framework's own lower limit).
constexpr qint64 kMinOAMillis = -657434LL * kMillisPerDay + (31 + 28) * kMillisPerDay;

}  // namespace

QDateTime MinDateTime() { return QDateTime(QDate(1, 1, 1), QTime(0, 0)); }
QDateTime MaxDateTime() { return QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999)); }

QString BSTR2String(const char16_t* bStr) {
    if (bStr == nullptr) return QString(QLatin1String(""));  // empty, never null
    const size_t length = std::char_traits<char16_t>::length(bStr);
    return QString(reinterpret_cast<const QChar*>(bStr), static_cast<qsizetype>(length));
}

BSTR String2BSTR(const QString& pStr) {
    if (pStr.isNull()) return nullptr;
    return SysAllocStringLen(reinterpret_cast<const char16_t*>(pStr.utf16()), static_cast<uint32_t>(pStr.size()));
}

QDateTime DATE2DateTime(DATE date) {
    if (!(date > kMinOADate && date < kMaxOADate)) return QDateTime();
    // Rounded to the millisecond; the fraction of a negative DATE is the time of day counted
    // forwards, so -1.25 is 6:00 of day -1.
    qint64 millis = static_cast<qint64>(date * kMillisPerDay + (date >= 0 ? 0.5 : -0.5));
    if (millis < 0) millis -= (millis % kMillisPerDay) * 2;
    qint64 days = millis / kMillisPerDay;
    qint64 ofDay = millis % kMillisPerDay;
    if (ofDay < 0) {
        ofDay += kMillisPerDay;
        --days;
    }
    return QDateTime(kEpoch.addDays(days), QTime::fromMSecsSinceStartOfDay(static_cast<int>(ofDay)));
}

DATE DateTime2DATE(const QDateTime& dt) {
    if (!dt.isValid() || dt <= MinDateTime() || dt >= MaxDateTime()) return -1.0;
    qint64 millis = kEpoch.daysTo(dt.date()) * kMillisPerDay + dt.time().msecsSinceStartOfDay();
    if (millis < kMinOAMillis) return -1.0;
    if (millis < 0) {
        const qint64 frac = millis % kMillisPerDay;
        if (frac != 0) millis -= (kMillisPerDay + frac) * 2;
    }
    return static_cast<double>(millis) / kMillisPerDay;
}

}  // namespace Varnel
