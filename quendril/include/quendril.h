/* Quendril: the forecourt controller's client library (libQuendril.so, C ABI).
 *
 * Rules that every function follows
 *
 * Results. Every function returns a 32-bit signed result code, 0 for success, except the five
 *   text functions (ResultString, PumpStateString, DeliveryStateString, DeliveryTypeString,
 *   ReserveTypeString), which return a BSTR. The codes are the table below; ResultString(code)
 *   gives the text of each. Codes callers rely on: 8 no session, -14 connection closed, -23 no
 *   answer within the call time-out. 65 (missing library or entry point) belongs to the tool
 *   that loads this library, -21 and 25 to the component; the library never returns 65 or -21.
 *
 * Text is BSTR (UTF-16 with a length prefix, platform/bstr.h). Input text belongs to the caller:
 *   the library reads it during the call and keeps nothing; a null BSTR is allowed and stays
 *   distinct from an empty one. Output text (BSTR* arguments and the text functions' results)
 *   is allocated by the library with SysAllocStringLen and freed by the caller with
 *   SysFreeString. An output variable is in/out: before the call it holds null or a BSTR; when
 *   the library stores a new text there it frees the old one first, and when it stores nothing
 *   (a failed call) the old value stays. Either way the caller frees what the variable holds
 *   after the call, and nothing leaks.
 *
 * Dates are OLE Automation dates (DATE: days since 30 December 1899, as a double).
 *
 * Sessions. A session is one logon to the server: a call connection and an events connection
 *   with the session's own event queue. It is named by a session handle, a non-zero int32_t
 *   that the logon's MT twin (InternalClientLogonMT, ClientLogonExMT, ClientLogonMT) writes
 *   through its first argument; ClientLogoffMT ends the session and sets the handle to 0. Every
 *   function that talks to the server or reads the session's events has an MT twin named
 *   <Name>MT taking the session handle first; the plain function acts on the process's default
 *   session, the one the plain logons open and ClientLogoff closes. A call on a handle that is
 *   0, unknown or logged off returns 8. Calls of one session are serialised; different
 *   sessions run in parallel. DllVersion, ResultString, the other text functions,
 *   CheckSocketClosed and WasReconnected need no session and have no MT twin.
 *
 * Notifications. The logons take a window channel: Window is the file descriptor of the write
 *   end of a pipe owned by the caller (0 or less: none) and MessageNo the message number. When
 *   events arrive, and when the connection closes, the library writes one QuendrilNotification
 *   record to it; CheckSocketClosed(LParam) returns -14 for the record of a closed connection
 *   and 0 otherwise. EventHandle is accepted and ignored.
 */
#ifndef QUENDRIL_QUENDRIL_H
#define QUENDRIL_QUENDRIL_H

#include <stdint.h>

#ifdef __cplusplus
#include "platform/bstr.h"
#else
#include <uchar.h>
typedef char16_t WCHAR;
typedef char16_t* BSTR;
typedef double DATE;
/* See platform/bstr.h: BSTRs on the C heap, freeable by any module. */
BSTR SysAllocStringLen(const char16_t* text, uint32_t length);
BSTR SysAllocString(const char16_t* text);
void SysFreeString(BSTR text);
uint32_t SysStringLen(BSTR text);
#endif
#define QUENDRIL_TYPES_DEFINED 1

/* One record written to the logon's window channel. LParam goes to CheckSocketClosed. */
typedef struct QuendrilNotification {
    int32_t MessageNo; /* the logon's MessageNo */
    int32_t Reserved;  /* 0 */
    int64_t LParam;    /* pointer-sized, as a window message's LParam */
} QuendrilNotification;

/* Result codes: X(name, number, text). Numbers are fixed; a code is never renumbered or reused,
 * new codes are only added. */
#define QUENDRIL_RESULT_CODES(X)                                                                   \
    X(QUENDRIL_OK, 0, "Success")                                                                   \
    X(QUENDRIL_NO_SESSION, 8, "Not logged on, or the session is gone")                            \
    X(QUENDRIL_CONNECTION_CLOSED, -14, "The connection to the server was closed")                 \
    X(QUENDRIL_TIMEOUT, -23, "The server did not answer within the call time-out")                \
    X(QUENDRIL_PUMP_DELIVERING, 25, "The pump is delivering; its authorisation cannot be cancelled") \
    X(QUENDRIL_NO_COMPONENT, -21, "The control is not attached to a client component")            \
    X(QUENDRIL_NO_LIBRARY, 65, "The client library or one of its entry points is missing")        \
    X(QUENDRIL_NOT_SUPPORTED, -101, "This server does not support the function yet")              \
    X(QUENDRIL_BAD_ARGUMENT, -102, "An argument is out of range or malformed")                    \
    X(QUENDRIL_WRONG_HASH_KEY, -103, "The hash key of the internal client is wrong")              \
    X(QUENDRIL_PROTOCOL_MISMATCH, -104, "Client and server speak different protocol versions")    \
    X(QUENDRIL_TOO_MANY_SESSIONS, -105, "The server has no room for another session")             \
    X(QUENDRIL_NOT_FOUND, -106, "No object with that ID, number, name or ordinal")                \
    X(QUENDRIL_IN_USE, -107, "The object is referenced by another and cannot be removed")        \
    X(QUENDRIL_DUPLICATE, -108, "The number or name is already in use")                           \
    X(QUENDRIL_NO_EVENT, -109, "No event is queued")                                              \
    X(QUENDRIL_WRONG_EVENT_KIND, -110, "The next queued event is of another kind; it was removed") \
    X(QUENDRIL_ALREADY_LOGGED_ON, -111, "The session is already logged on")                       \
    X(QUENDRIL_CANNOT_CONNECT, -112, "The server cannot be reached")                              \
    X(QUENDRIL_BAD_MESSAGE, -113, "A malformed message was received")                             \
    X(QUENDRIL_NOT_ALLOWED, -114, "This client may not call the function")                        \
    X(QUENDRIL_WRONG_STATE, -115, "The object is not in a state that allows this")                \
    X(QUENDRIL_RESERVED_BY_OTHER, -116, "The pump is reserved by another client")                 \
    X(QUENDRIL_LOCKED_BY_OTHER, -117, "The delivery is locked by another client")                 \
    X(QUENDRIL_NO_MEMORY, -118, "Out of memory")                                                  \
    X(QUENDRIL_EVENT_BACKLOG, -119, "The session did not read its events and was disconnected")   \
    X(QUENDRIL_INTERNAL_ERROR, -120, "Internal error in the server")                              \
    X(QUENDRIL_TOO_LARGE, -121, "The request or its answer exceeds the message size limit")     \
    X(QUENDRIL_BAD_REFERENCE, -122, "A referenced object does not exist")

enum QuendrilResult {
#define QUENDRIL_RESULT_ENUM(name, number, text) name = number,
    QUENDRIL_RESULT_CODES(QUENDRIL_RESULT_ENUM)
#undef QUENDRIL_RESULT_ENUM
};

/* The declarations of every function and MT twin, generated from quendril/api/functions.api. */
#include "quendril/api/quendril_api.h"

#endif /* QUENDRIL_QUENDRIL_H */
