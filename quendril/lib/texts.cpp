#include "quendril/lib/texts.h"

#include <cstdio>
#include <iterator>

#include "quendril/include/quendril.h"

namespace quendril {

namespace {

std::string FromTable(const char* const* table, size_t size, int code) {
    if (code < 0 || static_cast<size_t>(code) >= size || table[code] == nullptr) return "Unknown";
    return table[code];
}

}  // namespace

std::string ResultText(int32_t code) {
    switch (code) {
#define QUENDRIL_RESULT_TEXT(name, number, text) \
    case number: return text;
        QUENDRIL_RESULT_CODES(QUENDRIL_RESULT_TEXT)
#undef QUENDRIL_RESULT_TEXT
    }
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "Unknown result code %d", static_cast<int>(code));
    return buffer;
}

std::string PumpStateText(int16_t state) {
    static const char* const kTexts[] = {
        "Offline",      "Not responding",     "Error",           "Idle",
        "Priming",      "Authorised",         "Calling",         "Starting",
        "Delivering",   "Stopped",            "Finishing",       "Finished",
        "Delivering, limit near", "Nozzle left out", "Prepay timed out", "Suspended",
        "Hardware fault", "Locked out",
    };
    return FromTable(kTexts, std::size(kTexts), state);
}

std::string DeliveryStateText(int16_t state) {
    static const char* const kTexts[] = {"In progress", "Current", "Stacked", "Cleared", "Locked", "Timed out"};
    return FromTable(kTexts, std::size(kTexts), state);
}

std::string DeliveryTypeText(int16_t type) {
    static const char* const kTexts[] = {"Postpay", "Prepay", "Preauth", "Refund", "Attendant",
                                         "Payment terminal", "Tag", "Test", "Monitored"};
    return FromTable(kTexts, std::size(kTexts), type);
}

std::string ReserveTypeText(int16_t type) {
    static const char* const kTexts[] = {"Not reserved", "Free", "Prepay (locked)", "Prepay", "Preauth (locked)",
                                         "Preauth", "Attendant", "Tag", "Payment terminal (locked)",
                                         "Payment terminal"};
    return FromTable(kTexts, std::size(kTexts), type);
}

}  // namespace quendril
