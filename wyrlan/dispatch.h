// Turns one CALL into its ANSWER frame: finds the function (by id when the digests matched,
// else by name; names starting with "@" are the control interface), answers 8 before logon to
// everything but the logons, reads the in-values per the table (-102 when they do not fit),
// runs the handler, or the configuration store for the functions it answers (-101 when neither) and writes the out-values. Records the call for
// GetLastAPIResult. Never fails: every CALL gets an ANSWER.
#pragma once

#include <cstdint>
#include <vector>

#include "wyrlan/handler_api.h"

namespace wire {
class Message;
}

namespace wyrlan {

std::vector<uint8_t> Dispatch(CallContext& call, const wire::Message& message);

// An ANSWER with `result` and no out-values.
std::vector<uint8_t> BareAnswer(uint32_t seq, int32_t result);

}  // namespace wyrlan
