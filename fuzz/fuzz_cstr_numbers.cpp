// Feeds arbitrary bytes to CStr's number scans, search, Mid and the character transforms, both as
// narrow text (one byte a character) and as wide text (two bytes a unit). Input is capped at the
// 32767-character limit.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/CStr.h"

namespace {

void Exercise(CStr& text, const uint8_t* data, size_t size) {
    (void)text.ToInt();
    (void)text.ToInt64();
    (void)text.HexToInt64();
    (void)text.ToDouble();

    // Needle and positions from the first bytes of the input.
    int start = size > 0 ? int(int8_t(data[0])) : 1;
    int count = size > 1 ? int(int8_t(data[1])) * 64 : 0;
    CStr needle(text);
    needle.Mid(start, size > 2 ? data[2] % 8 : 1);
    int found = text.Find(needle, start);
    if (found != 0 && (found < 1 || found > text.Length() + 1)) __builtin_trap();

    CStr piece(text);
    piece.Mid(start, count);
    if (piece.Length() > text.Length()) __builtin_trap();

    CStr upper(text);
    upper.ToUpper();
    upper.ToLower();
    upper.FoldAccents();
    int before = upper.Length();
    upper.ToHex();
    if (2 * before <= CStr::kMaxLength && upper.Length() != 2 * before) __builtin_trap();
    (void)upper.Narrow();
    (void)text.CompareNoCase(upper);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > size_t(CStr::kMaxLength)) size = size_t(CStr::kMaxLength);

    std::vector<char> narrow(data, data + size);
    narrow.push_back(0);
    CStr asNarrow(narrow.data(), int(size));
    Exercise(asNarrow, data, size);

    std::vector<char16_t> wide(size / 2 + 1, 0);
    if (size >= 2) std::memcpy(wide.data(), data, (size / 2) * 2);
    CStr asWide;
    asWide.Assign(wide.data(), int(size / 2));
    Exercise(asWide, data, size);
    return 0;
}
