// A blocking test client that speaks the wire protocol over raw sockets, with time-outs, so the
// server's tests see exactly the bytes it sends.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "quendril/include/quendril_control.h"
#include "quendril/wire/message.h"

namespace wyrlan::test {

// One received frame: the body and the message parsed from it (which may point into it).
struct Received {
    std::vector<uint8_t> body;
    wire::Message message;
};

class WireClient {
public:
    WireClient() = default;
    ~WireClient();
    WireClient(const WireClient&) = delete;
    WireClient& operator=(const WireClient&) = delete;

    bool Connect(const std::string& address, uint16_t port);
    void Close();
    bool Send(const std::vector<uint8_t>& bytes);

    // The next frame within `timeoutMs`; nullptr on time-out, end of stream or a bad frame.
    std::unique_ptr<Received> Receive(int timeoutMs = 5000);

    // True when the server closes the connection within `timeoutMs` (frames before the end
    // are skipped; the last CLOSE reason, if any, goes to `closeReason`).
    bool WaitClosed(int timeoutMs, int32_t* closeReason = nullptr);

    // HELLO and the WELCOME's result (or -9999 when none came).
    int32_t Hello(wire::Channel channel, int32_t session = 0, uint64_t key = 0,
                  uint32_t version = wire::kProtocolVersion, uint64_t digest = 0);

    // One CALL by name; returns the ANSWER (nullptr when none came). `fill` writes `argCount`
    // values.
    std::unique_ptr<Received> Call(const std::string& name, uint32_t argCount = 0,
                                   const std::function<void(wire::ValueWriter&)>& fill = nullptr,
                                   int timeoutMs = 5000);
    // The same by function id.
    std::unique_ptr<Received> CallId(uint16_t id, uint32_t argCount = 0,
                                     const std::function<void(wire::ValueWriter&)>& fill = nullptr,
                                     int timeoutMs = 5000);

    int Fd() const { return fd_; }

private:
    int fd_ = -1;
    wire::FrameDecoder decoder_;
    std::vector<uint8_t> pending_;  // received bytes not yet fed to the decoder
    uint32_t seq_ = 1;
};

// A logged-on session: calls connection, and an events connection after OpenEvents().
struct TestSession {
    WireClient calls;
    WireClient events;
    int32_t number = 0;
    uint64_t key = 0;
    int32_t result = -9999;  // the logon's result

    // HELLO and InternalClientLogon (ClientID, type 1, name, category 0, hashKey, mask).
    // Returns the logon result.
    int32_t LogonInternal(const std::string& address, uint16_t callPort, const std::string& hashKey,
                          int32_t eventMask = -1, int32_t clientId = 1);
    // HELLO and ClientLogon(clientId, 1).
    int32_t Logon(const std::string& address, uint16_t callPort, int32_t clientId = 1);
    // Connects the events connection; the WELCOME's result.
    int32_t OpenEvents(const std::string& address, uint16_t eventsPort);
};

// The hash key the server accepts by default.
inline constexpr const char* kHashKey = QUENDRIL_DEFAULT_HASH_KEY;

}  // namespace wyrlan::test
