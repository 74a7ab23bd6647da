// The control interface for tests and the simulator: CALLs by name, only for sessions that
// logged on with InternalClientLogon and the right hash key (else -114). Targets: 0 every
// session, -1 the caller's own, > 0 a server session number (unknown: -106).
//   @InjectEvent  [target i32, kind i16, fields...]  fields typed per the record of that kind
//                 (kinds without a record take none); bad values -102; the target's mask applies
//   @DropSession  [target i32]                       closes the target's two connections
//   @HoldAnswers  [target i32, ms i32]               answers to calls received in the next ms
//                 milliseconds are sent ms after their call (0 ends a hold), order kept
// Answers carry no out-values. Unknown names: -101.
#pragma once

#include <cstdint>
#include <string_view>

#include "quendril/wire/values.h"
#include "wyrlan/handler_api.h"

namespace wyrlan {

// The result of one control call; the caller has checked that a session is logged on.
int32_t DispatchControl(CallContext& call, std::string_view name, wire::ValueReader in);

}  // namespace wyrlan
