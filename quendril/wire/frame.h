// Frames of the client-server protocol: a 4-byte big-endian body length, then the body.
//
// FrameDecoder is an incremental state machine: it is fed whatever bytes arrived, answers
// good (one whole body is ready), need-more (all input eaten, frame incomplete) or bad (the
// length is 0 or over the cap), and never reads past the input it was given. One decoder per
// connection; it is not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace wire {

inline constexpr size_t kFrameHeaderSize = 4;
inline constexpr uint32_t kMaxFrameBody = 1u << 20;  // 1 MiB

enum class FrameStatus { kGood, kNeedMore, kBad };

// Writes the 4-byte big-endian length at `out`.
void PutFrameHeader(uint8_t* out, uint32_t bodyLength);

// The frame for `body`: header then body. Empty when the body is empty or over the cap.
std::vector<uint8_t> MakeFrame(std::span<const uint8_t> body);

class FrameDecoder {
public:
    explicit FrameDecoder(uint32_t maxBody = kMaxFrameBody) : maxBody_(maxBody) {}

    // Eats bytes of `input`, at most up to the end of the current frame, and sets `consumed` to
    // how many it ate. kGood: a frame ended; its body is Body() until the next Feed or Reset,
    // and the bytes after `consumed` belong to the next frame. kNeedMore: every byte was eaten
    // and the frame is not complete yet (an empty input is not an error). kBad: the length
    // field is 0 or exceeds the cap; `consumed` covers the header, and every later Feed
    // answers kBad, eating nothing, until Reset. The connection should then be closed.
    FrameStatus Feed(std::span<const uint8_t> input, size_t& consumed);

    std::span<const uint8_t> Body() const { return {body_.data(), body_.size()}; }

    // Back to the start of a frame; drops any partial frame and a bad state.
    void Reset();

    // True while part of a frame has been eaten and its end has not.
    bool InFrame() const { return state_ == State::kBody || headerHave_ > 0; }

private:
    enum class State { kHeader, kBody, kDone, kBad };

    uint32_t maxBody_;
    State state_ = State::kHeader;
    uint8_t header_[kFrameHeaderSize] = {};
    size_t headerHave_ = 0;
    uint32_t bodyLength_ = 0;
    std::vector<uint8_t> body_;
};

}  // namespace wire
