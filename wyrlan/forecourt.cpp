#include "wyrlan/forecourt.h"

#include "quendril/wire/message.h"

namespace wyrlan {

Frame MakeEvent(int16_t kind, uint32_t fieldCount, const std::function<void(wire::ValueWriter&)>& fill) {
    wire::FrameWriter w;
    fill(w.BeginEvent(kind, fieldCount));
    auto frame = std::make_shared<std::vector<uint8_t>>();
    if (!w.Finish(*frame)) return nullptr;
    return frame;
}

}  // namespace wyrlan
