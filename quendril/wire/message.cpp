#include "quendril/wire/message.h"

#include <exception>

namespace wire {

namespace {

// Array lengths, texts and nesting far beyond any message of the table, but small enough
// that a hostile header cannot make the parser allocate much more than the frame holds.
constexpr size_t kMaxArray = 4096;
constexpr size_t kMaxDepth = 3;

// Copy str and bin into the message's own zone, so the message outlives the frame buffer.
bool CopyEverything(msgpack::type::object_type, size_t, void*) { return false; }

std::vector<uint8_t> Fixed(MessageType type, uint32_t fields, auto&& put) {
    std::vector<uint8_t> frame(kFrameHeaderSize);
    ValueWriter w(frame);
    w.PutArrayHeader(fields + 1);
    w.Put(static_cast<int32_t>(type));
    put(w);
    PutFrameHeader(frame.data(), static_cast<uint32_t>(frame.size() - kFrameHeaderSize));
    return frame;
}

}  // namespace

std::vector<uint8_t> EncodeHello(const Hello& m) {
    return Fixed(MessageType::kHello, 5, [&](ValueWriter& w) {
        w.PutUnsigned(m.version);
        w.PutUnsigned(static_cast<uint8_t>(m.channel));
        w.PutUnsigned(m.apiDigest);
        w.Put(m.session);
        w.PutUnsigned(m.eventsKey);
    });
}

std::vector<uint8_t> EncodeWelcome(const Welcome& m) {
    return Fixed(MessageType::kWelcome, 3, [&](ValueWriter& w) {
        w.PutUnsigned(m.version);
        w.Put(m.result);
        w.PutBool(m.idsAccepted);
    });
}

std::vector<uint8_t> EncodeClose(int32_t reason) {
    return Fixed(MessageType::kClose, 1, [&](ValueWriter& w) { w.Put(reason); });
}

FrameWriter::FrameWriter() : buffer_(kFrameHeaderSize), values_(buffer_) {}

ValueWriter& FrameWriter::Begin(uint32_t valueCount) {
    values_.PutArrayHeader(valueCount);
    values_.ResetCount();
    expected_ = valueCount;
    return values_;
}

ValueWriter& FrameWriter::BeginCall(uint32_t seq, uint16_t functionId, uint32_t argCount) {
    values_.PutArrayHeader(4);
    values_.Put(static_cast<int32_t>(MessageType::kCall));
    values_.PutUnsigned(seq);
    values_.PutUnsigned(functionId);
    return Begin(argCount);
}

ValueWriter& FrameWriter::BeginCallByName(uint32_t seq, std::string_view name, uint32_t argCount) {
    values_.PutArrayHeader(4);
    values_.Put(static_cast<int32_t>(MessageType::kCall));
    values_.PutUnsigned(seq);
    values_.PutString(name);
    return Begin(argCount);
}

ValueWriter& FrameWriter::BeginAnswer(uint32_t seq, int32_t result, uint32_t outCount) {
    values_.PutArrayHeader(4);
    values_.Put(static_cast<int32_t>(MessageType::kAnswer));
    values_.PutUnsigned(seq);
    values_.Put(result);
    return Begin(outCount);
}

ValueWriter& FrameWriter::BeginEvent(int16_t kind, uint32_t fieldCount) {
    values_.PutArrayHeader(3);
    values_.Put(static_cast<int32_t>(MessageType::kEvent));
    values_.Put(kind);
    return Begin(fieldCount);
}

bool FrameWriter::Finish(std::vector<uint8_t>& frame) {
    size_t body = buffer_.size() - kFrameHeaderSize;
    bool ok = values_.Count() == expected_ && body > 0 && body <= kMaxFrameBody;
    if (ok) {
        PutFrameHeader(buffer_.data(), static_cast<uint32_t>(body));
        frame.swap(buffer_);
    }
    buffer_.clear();
    buffer_.resize(kFrameHeaderSize);
    values_.ResetCount();
    expected_ = 0;
    return ok;
}

bool Message::Parse(std::span<const uint8_t> body) {
    *this = Message();
    if (body.empty() || body.size() > kMaxFrameBody) return false;
    try {
        size_t offset = 0;
        bool referenced = false;
        msgpack::unpack_limit limits(kMaxArray, 0, kMaxFrameBody, kMaxFrameBody, 0, kMaxDepth);
        handle_ = msgpack::unpack(reinterpret_cast<const char*>(body.data()), body.size(), offset,
                                  referenced, CopyEverything, nullptr, limits);
        if (offset != body.size()) return false;
    } catch (...) {  // msgpack reports malformed input, limits and memory by exceptions
        return false;
    }
    const msgpack::object& root = handle_.get();
    if (root.type != msgpack::type::ARRAY || root.via.array.size < 2) return false;
    const msgpack::object* f = root.via.array.ptr;
    const uint32_t n = root.via.array.size;
    int32_t typeNumber = 0;
    if (!ReadValue(f[0], typeNumber)) return false;
    // A CALL, ANSWER or EVENT ends with the array of its values.
    auto takeValues = [&](const msgpack::object& o) {
        if (o.type != msgpack::type::ARRAY) return false;
        values_ = o.via.array.ptr;
        valueCount_ = o.via.array.size;
        return true;
    };
    switch (static_cast<MessageType>(typeNumber)) {
        case MessageType::kHello: {
            uint16_t channel = 0;
            if (n != 6 || !ReadValue(f[1], hello.version) || !ReadValue(f[2], channel) ||
                !ReadValue(f[3], hello.apiDigest) || !ReadValue(f[4], hello.session) ||
                !ReadValue(f[5], hello.eventsKey) || channel > 1) {
                return false;
            }
            hello.channel = static_cast<Channel>(channel);
            type = MessageType::kHello;
            return true;
        }
        case MessageType::kWelcome:
            if (n != 4 || !ReadValue(f[1], welcome.version) || !ReadValue(f[2], welcome.result) ||
                !ReadValue(f[3], welcome.idsAccepted)) {
                return false;
            }
            type = MessageType::kWelcome;
            return true;
        case MessageType::kCall: {
            if (n != 4 || !ReadValue(f[1], seq) || !takeValues(f[3])) return false;
            uint16_t id = 0;
            if (ReadValue(f[2], id)) {
                functionId = id;
            } else if (f[2].type == msgpack::type::STR && f[2].via.str.size > 0) {
                functionName = std::string_view(f[2].via.str.ptr, f[2].via.str.size);
            } else {
                return false;
            }
            type = MessageType::kCall;
            return true;
        }
        case MessageType::kAnswer:
            if (n != 4 || !ReadValue(f[1], seq) || !ReadValue(f[2], result) || !takeValues(f[3])) return false;
            type = MessageType::kAnswer;
            return true;
        case MessageType::kEvent:
            if (n != 3 || !ReadValue(f[1], kind) || !takeValues(f[2])) return false;
            type = MessageType::kEvent;
            return true;
        case MessageType::kClose:
            if (n != 2 || !ReadValue(f[1], result)) return false;
            type = MessageType::kClose;
            return true;
    }
    return false;
}

}  // namespace wire
