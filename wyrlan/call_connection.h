// The calls connection of one client: HELLO/WELCOME, then one ANSWER per CALL, in order.
//
// Frames are decoded incrementally; a malformed or oversize frame gets CLOSE -113 and the
// connection closes without touching any other. Answers go through a queue written
// asynchronously; an answer held back by @HoldAnswers waits for its release time and keeps
// every later answer behind it. Reading pauses while too many answers are waiting, so a client
// that never reads its answers cannot grow the queue without bound. When the connection closes,
// its session (if logged on) is disconnected and removed.
#pragma once

#include <array>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <asio.hpp>

#include "quendril/wire/frame.h"
#include "wyrlan/connection.h"
#include "wyrlan/services.h"
#include "wyrlan/session.h"

namespace wire {
class Message;
}

namespace wyrlan {

class CallConnection final : public Connection, public std::enable_shared_from_this<CallConnection> {
public:
    CallConnection(asio::ip::tcp::socket socket, Services& services);

    void Start();
    void Stop() override;

    // Sends CLOSE `reason` (after the answers already queued) and closes; reason 0 closes now.
    void CloseWith(int32_t reason);

    // After the answer to the current call is written, close (logoff, dropping oneself).
    void CloseAfterAnswer() { closeAfterAnswer_ = true; }

    std::shared_ptr<Session>& SessionRef() { return session_; }
    const std::string& Peer() const { return peer_; }

private:
    struct Outgoing {
        std::vector<uint8_t> frame;
        SteadyTime release;
        bool closeAfter;
    };

    void Read();
    void OnRead(const asio::error_code& ec, size_t n);
    bool HandleBody(std::span<const uint8_t> body);  // false: stop processing input
    void ProtocolError(const char* what);
    void Enqueue(std::vector<uint8_t> frame, SteadyTime release, bool closeAfter);
    void Flush();
    void OnWritten(const asio::error_code& ec);

    asio::ip::tcp::socket socket_;
    asio::steady_timer holdTimer_;
    asio::steady_timer closeTimer_;
    Services& services_;
    std::string peer_;
    std::shared_ptr<Session> session_;
    wire::FrameDecoder decoder_;
    std::array<uint8_t, 64 * 1024> buffer_;
    std::deque<Outgoing> out_;
    bool helloDone_ = false;
    bool idsAccepted_ = false;
    bool reading_ = false;
    bool writing_ = false;
    bool closing_ = false;  // no more input is processed; close once the queue is written
    bool stopped_ = false;
    bool closeAfterAnswer_ = false;
    SteadyTime lastRelease_{};
};

}  // namespace wyrlan
