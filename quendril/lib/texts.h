// Texts of the codes the library's text functions name (ResultString, PumpStateString, ...).
#pragma once

#include <cstdint>
#include <string>

namespace quendril {

// The text of a result code of quendril.h; "Unknown result code <n>" for any other number.
std::string ResultText(int32_t code);

// Pump states (the State of pump status events and GetPumpStatus):
//   0 Offline, 1 Not responding, 2 Error, 3 Idle, 4 Priming, 5 Authorised, 6 Calling,
//   7 Starting, 8 Delivering, 9 Stopped, 10 Finishing, 11 Finished, 12 Delivering, limit near,
//   13 Nozzle left out, 14 Prepay timed out, 15 Suspended, 16 Hardware fault, 17 Locked out.
std::string PumpStateText(int16_t state);
// Delivery states: 0 In progress, 1 Current (unpaid), 2 Stacked, 3 Cleared, 4 Locked, 5 Timed out.
std::string DeliveryStateText(int16_t state);
// Delivery types: 0 Postpay, 1 Prepay, 2 Preauth, 3 Refund, 4 Attendant, 5 Payment terminal,
//   6 Tag, 7 Test, 8 Monitored (external).
std::string DeliveryTypeText(int16_t type);
// Pump reservations: 0 Not reserved, 1 Free, 2 Prepay (locked), 3 Prepay, 4 Preauth (locked),
//   5 Preauth, 6 Attendant, 7 Tag, 8 Payment terminal (locked), 9 Payment terminal.
std::string ReserveTypeText(int16_t type);
// Every other number gives "Unknown".

}  // namespace quendril
