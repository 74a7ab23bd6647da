// Calls the configuration store answers: the in-values of the message are read as the table
// types them, handed to store::Store::Call, and its out-values sent back in the table's order.
#pragma once

#include <cstdint>
#include <vector>

#include "quendril/api/api_table.h"
#include "quendril/wire/values.h"

namespace wyrlan {

struct CallContext;

// True when the store is open and answers `f`.
bool StoreAnswers(const CallContext& call, const quendril::api::FunctionInfo& f);

// Runs `f` on the store and encodes the answer into `frame`; the result.
int32_t InvokeStore(CallContext& call, const quendril::api::FunctionInfo& f, uint32_t seq, wire::ValueReader in,
                    std::vector<uint8_t>& frame);

}  // namespace wyrlan
