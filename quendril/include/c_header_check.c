/* Compiles the public header as C, so that C clients can use it. Built with the tests. */
#include "quendril/include/quendril.h"

int quendril_c_header_check(void);

int quendril_c_header_check(void) {
    int32_t (*logon)(int32_t*, int32_t, int16_t, int32_t, int64_t, int32_t) = ClientLogonMT;
    BSTR (*text)(int32_t) = ResultString;
    return (logon != 0) + (text != 0) + QUENDRIL_NO_SESSION + (int)sizeof(QuendrilNotification);
}
