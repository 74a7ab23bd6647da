// Feeds arbitrary bytes to the protocol's frame decoder in chunks chosen by the input, and
// parses every body it yields as a message, reading all of its values.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/bstr.h"
#include "quendril/wire/frame.h"
#include "quendril/wire/message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t step = 1 + data[0] % 64;  // chunk size, so splits land everywhere
    std::span<const uint8_t> input(data + 1, size - 1);
    wire::FrameDecoder decoder(4096);
    while (!input.empty()) {
        std::span<const uint8_t> chunk = input.first(std::min(step, input.size()));
        while (true) {
            size_t used = 0;
            wire::FrameStatus s = decoder.Feed(chunk, used);
            if (used > chunk.size()) __builtin_trap();
            chunk = chunk.subspan(used);
            input = input.subspan(used);
            if (s == wire::FrameStatus::kBad) return 0;
            if (s == wire::FrameStatus::kNeedMore) break;
            wire::Message m;
            if (m.Parse(decoder.Body())) {
                wire::ValueReader r = m.Values();
                while (r.Remaining() > 0) {
                    int64_t i = 0;
                    double d = 0;
                    std::optional<std::u16string> t;
                    BSTR b = nullptr;
                    if (r.GetBstr(b)) {
                        SysFreeString(b);
                    } else if (!r.Get(i) && !r.Get(d) && !r.GetText(t)) {
                        break;
                    }
                }
            }
        }
    }
    return 0;
}
