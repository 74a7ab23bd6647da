/* Quendril control interface: extra entry points of libQuendril.so for tests and the forecourt
 * simulator. They are not part of the tool's or the component's API and are not in the function
 * table.
 *
 * Only a session that logged on with InternalClientLogon and a valid hash key may use them; any
 * other session gets QUENDRIL_NOT_ALLOWED (-114). Results follow quendril.h: 8 for an unknown or
 * logged-off handle, -14 when the connection is gone, -23 on time-out, -102 for values that do not
 * match the record of the event kind.
 */
#ifndef QUENDRIL_QUENDRIL_CONTROL_H
#define QUENDRIL_QUENDRIL_CONTROL_H

#include "quendril/include/quendril.h"

/* The hash key that internal clients present by default; the server accepts it unless it was
 * started with another one (--hash-key). */
#define QUENDRIL_DEFAULT_HASH_KEY "7F3A-91C2-KESTRUM-2600"

/* Notification records (QuendrilNotification::LParam) written to a logon's window channel. */
#define QUENDRIL_NOTIFY_EVENTS 1 /* events were queued */
#define QUENDRIL_NOTIFY_CLOSED 2 /* the connection was closed; CheckSocketClosed gives -14 */

/* Value types of QuendrilValue::Type, the table's field types. */
#define QUENDRIL_VALUE_I16 0
#define QUENDRIL_VALUE_U16 1
#define QUENDRIL_VALUE_I32 2
#define QUENDRIL_VALUE_I64 3
#define QUENDRIL_VALUE_F64 4
#define QUENDRIL_VALUE_TEXT 5
#define QUENDRIL_VALUE_DATE 6

/* One field of an event record. */
typedef struct QuendrilValue {
    int32_t Type;     /* QUENDRIL_VALUE_*: 0 i16, 1 u16, 2 i32, 3 i64, 4 f64, 5 text, 6 date */
    int32_t Reserved; /* 0 */
    int64_t Int;      /* i16 u16 i32 i64 */
    double Real;      /* f64 date */
    BSTR Text;        /* text; null allowed; belongs to the caller */
} QuendrilValue;

/* Targets of the control functions: 0 every session, -1 the caller's own session, > 0 the
 * server's number of a session (QuendrilServerSessionMT). */
#define QUENDRIL_TARGET_ALL 0
#define QUENDRIL_TARGET_SELF (-1)

#ifdef __cplusplus
extern "C" {
#endif

/* Raises an event of `kind` with the `count` fields of `values` (the record of that kind, in
 * order and type; kinds without a record take none) at the target, filtered by its event mask. */
QUENDRIL_EXPORT int32_t QuendrilInjectEventMT(int32_t session, int32_t target, int16_t kind,
    const QuendrilValue* values, int32_t count);
QUENDRIL_EXPORT int32_t QuendrilInjectEvent(int32_t target, int16_t kind, const QuendrilValue* values,
    int32_t count);

/* The server closes both connections of the target session. */
QUENDRIL_EXPORT int32_t QuendrilDropSessionMT(int32_t session, int32_t target);
QUENDRIL_EXPORT int32_t QuendrilDropSession(int32_t target);

/* The server delays by `milliseconds` its answers to the target's calls received during the
 * next `milliseconds` ms (the target's calls stay serialised). */
QUENDRIL_EXPORT int32_t QuendrilHoldAnswersMT(int32_t session, int32_t target, int32_t milliseconds);
QUENDRIL_EXPORT int32_t QuendrilHoldAnswers(int32_t target, int32_t milliseconds);

/* The server's number of the session (answered by the library itself, no call). */
QUENDRIL_EXPORT int32_t QuendrilServerSessionMT(int32_t session, int32_t* serverSession);
QUENDRIL_EXPORT int32_t QuendrilServerSession(int32_t* serverSession);

#ifdef __cplusplus
}
#endif

#endif /* QUENDRIL_QUENDRIL_CONTROL_H */
