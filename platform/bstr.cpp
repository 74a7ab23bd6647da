// BSTR on the C heap: [uint32 byte length][units...][0 unit], the BSTR pointing at the units.
#include "platform/bstr.h"

#include <cstdlib>
#include <cstring>

#define PLATFORM_EXPORT __attribute__((visibility("default")))

namespace {

constexpr size_t kPrefixBytes = sizeof(uint32_t);

uint32_t* PrefixOf(BSTR text) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(text) - kPrefixBytes);
}

}  // namespace

extern "C" {

PLATFORM_EXPORT BSTR SysAllocStringLen(const char16_t* text, uint32_t length) {
    // The byte length must fit the 32-bit prefix.
    if (length > (UINT32_MAX - kPrefixBytes - sizeof(char16_t)) / sizeof(char16_t)) return nullptr;
    const size_t bytes = static_cast<size_t>(length) * sizeof(char16_t);
    char* block = static_cast<char*>(std::malloc(kPrefixBytes + bytes + sizeof(char16_t)));
    if (block == nullptr) return nullptr;
    const uint32_t prefix = static_cast<uint32_t>(bytes);
    std::memcpy(block, &prefix, kPrefixBytes);
    BSTR result = reinterpret_cast<BSTR>(block + kPrefixBytes);
    if (text != nullptr) {
        std::memcpy(result, text, bytes);
    } else {
        std::memset(result, 0, bytes);
    }
    result[length] = 0;
    return result;
}

PLATFORM_EXPORT BSTR SysAllocString(const char16_t* text) {
    if (text == nullptr) return nullptr;
    uint32_t length = 0;
    while (text[length] != 0) ++length;
    return SysAllocStringLen(text, length);
}

PLATFORM_EXPORT void SysFreeString(BSTR text) {
    if (text == nullptr) return;
    std::free(PrefixOf(text));
}

PLATFORM_EXPORT uint32_t SysStringLen(BSTR text) {
    if (text == nullptr) return 0;
    uint32_t bytes;
    std::memcpy(&bytes, PrefixOf(text), kPrefixBytes);
    return bytes / sizeof(char16_t);
}

}  // extern "C"
