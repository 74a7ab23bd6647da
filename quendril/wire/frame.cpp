#include "quendril/wire/frame.h"

#include <algorithm>

namespace wire {

void PutFrameHeader(uint8_t* out, uint32_t bodyLength) {
    out[0] = static_cast<uint8_t>(bodyLength >> 24);
    out[1] = static_cast<uint8_t>(bodyLength >> 16);
    out[2] = static_cast<uint8_t>(bodyLength >> 8);
    out[3] = static_cast<uint8_t>(bodyLength);
}

std::vector<uint8_t> MakeFrame(std::span<const uint8_t> body) {
    std::vector<uint8_t> frame;
    if (body.empty() || body.size() > kMaxFrameBody) return frame;
    frame.resize(kFrameHeaderSize + body.size());
    PutFrameHeader(frame.data(), static_cast<uint32_t>(body.size()));
    std::copy(body.begin(), body.end(), frame.begin() + kFrameHeaderSize);
    return frame;
}

void FrameDecoder::Reset() {
    state_ = State::kHeader;
    headerHave_ = 0;
    bodyLength_ = 0;
    body_.clear();
}

FrameStatus FrameDecoder::Feed(std::span<const uint8_t> input, size_t& consumed) {
    consumed = 0;
    if (state_ == State::kBad) return FrameStatus::kBad;
    if (state_ == State::kDone) {  // the previous body has been handed out; start the next frame
        state_ = State::kHeader;
        headerHave_ = 0;
        body_.clear();
    }
    size_t at = 0;
    if (state_ == State::kHeader) {
        size_t take = std::min(kFrameHeaderSize - headerHave_, input.size());
        std::copy_n(input.begin(), take, header_ + headerHave_);
        headerHave_ += take;
        at += take;
        if (headerHave_ < kFrameHeaderSize) {
            consumed = at;
            return FrameStatus::kNeedMore;
        }
        bodyLength_ = (uint32_t{header_[0]} << 24) | (uint32_t{header_[1]} << 16) |
                      (uint32_t{header_[2]} << 8) | uint32_t{header_[3]};
        if (bodyLength_ == 0 || bodyLength_ > maxBody_) {
            state_ = State::kBad;
            consumed = at;
            return FrameStatus::kBad;
        }
        state_ = State::kBody;
    }
    // Grow the body as bytes arrive rather than reserving what a header claims.
    size_t take = std::min<size_t>(bodyLength_ - body_.size(), input.size() - at);
    body_.insert(body_.end(), input.begin() + at, input.begin() + at + take);
    at += take;
    consumed = at;
    if (body_.size() < bodyLength_) return FrameStatus::kNeedMore;
    state_ = State::kDone;
    headerHave_ = 0;
    return FrameStatus::kGood;
}

}  // namespace wire
