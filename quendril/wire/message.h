// Messages of the client-server protocol (quendril/PROTOCOL.md). Each frame body is one
// msgpack array whose first element is the message type:
//   HELLO   [1, version, channel, apiDigest, session, eventsKey]     client -> server, first
//   WELCOME [2, version, result, idsAccepted]                        server -> client
//   CALL    [3, seq, function id | function name, [in-values...]]    client -> server
//   ANSWER  [4, seq, result, [out-values...]]                        server -> client
//   EVENT   [5, kind, [record values...]]                            server -> client (events)
//   CLOSE   [6, reason]                                              either way, then close
// Encoding never fails except by size; parsing never throws and rejects anything malformed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include <msgpack.hpp>

#include "quendril/wire/frame.h"
#include "quendril/wire/values.h"

namespace wire {

// Raised whenever the message layout or the meaning of a field changes.
inline constexpr uint32_t kProtocolVersion = 1;

enum class MessageType : uint8_t { kHello = 1, kWelcome = 2, kCall = 3, kAnswer = 4, kEvent = 5, kClose = 6 };
enum class Channel : uint8_t { kCalls = 0, kEvents = 1 };

struct Hello {
    uint32_t version = kProtocolVersion;
    Channel channel = Channel::kCalls;
    uint64_t apiDigest = 0;  // the client's quendril::api::kApiDigest
    int32_t session = 0;     // events channel: the session the logon answer named; else 0
    uint64_t eventsKey = 0;  // events channel: the key the logon answer gave; else 0
};

struct Welcome {
    uint32_t version = kProtocolVersion;
    int32_t result = 0;        // 0, or why the connection is refused (it is closed after this)
    bool idsAccepted = false;  // the digests match: calls may name functions by id
};

// Whole frames (header included) for the fixed-layout messages.
std::vector<uint8_t> EncodeHello(const Hello& m);
std::vector<uint8_t> EncodeWelcome(const Welcome& m);
std::vector<uint8_t> EncodeClose(int32_t reason);

// Builds one CALL, ANSWER or EVENT frame: Begin..., one Put per value, Finish.
//   wire::FrameWriter w;
//   w.BeginCall(seq, id, 1).Put(int32_t{7});
//   std::vector<uint8_t> frame;
//   if (!w.Finish(frame)) ...  // count mismatch or over 1 MiB
class FrameWriter {
public:
    FrameWriter();

    ValueWriter& BeginCall(uint32_t seq, uint16_t functionId, uint32_t argCount);
    ValueWriter& BeginCallByName(uint32_t seq, std::string_view name, uint32_t argCount);
    ValueWriter& BeginAnswer(uint32_t seq, int32_t result, uint32_t outCount);
    ValueWriter& BeginEvent(int16_t kind, uint32_t fieldCount);

    // Moves the finished frame into `frame`. False when the values put differ in number from
    // the count given to Begin..., or the body exceeds kMaxFrameBody; the writer is reset
    // either way and can begin the next message.
    bool Finish(std::vector<uint8_t>& frame);

private:
    ValueWriter& Begin(uint32_t valueCount);

    std::vector<uint8_t> buffer_;
    ValueWriter values_;
    uint32_t expected_ = 0;
};

// One parsed frame body. The fields that the type does not use keep their defaults.
class Message {
public:
    // False for anything that is not one well-formed message: not msgpack, bytes after the
    // array, an unknown type, fields of the wrong type or number, nesting or sizes over the
    // limits. Never throws.
    bool Parse(std::span<const uint8_t> body);

    MessageType type = MessageType::kClose;
    Hello hello;
    Welcome welcome;
    uint32_t seq = 0;               // CALL, ANSWER
    int32_t functionId = -1;        // CALL by id; -1 when by name
    std::string_view functionName;  // CALL by name; points into this message
    int32_t result = 0;             // ANSWER; CLOSE: the reason
    int16_t kind = 0;               // EVENT

    // The values of a CALL, ANSWER or EVENT; valid while this message lives and is not parsed
    // again.
    ValueReader Values() const { return ValueReader(values_, valueCount_); }

private:
    msgpack::object_handle handle_;
    const msgpack::object* values_ = nullptr;
    uint32_t valueCount_ = 0;
};

}  // namespace wire
