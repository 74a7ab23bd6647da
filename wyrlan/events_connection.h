// The events connection of one session: HELLO with the session number and events key, WELCOME,
// then the session's queued EVENT frames, written asynchronously in batches. The client sends
// nothing after HELLO; anything it sends is a protocol error, and end of input closes the
// connection (the session itself lives on until its calls connection closes).
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <asio.hpp>

#include "quendril/wire/frame.h"
#include "wyrlan/connection.h"
#include "wyrlan/services.h"
#include "wyrlan/session.h"

namespace wyrlan {

class EventsConnection final : public Connection, public std::enable_shared_from_this<EventsConnection> {
public:
    EventsConnection(asio::ip::tcp::socket socket, Services& services);

    void Start();
    void Stop() override;

    // New events were queued on the session: start writing unless a write is in flight.
    void Kick();

    // Sends CLOSE `reason` after the write in flight (queued events are dropped) and closes;
    // reason 0 closes now.
    void CloseWith(int32_t reason);

private:
    void Read();
    void OnRead(const asio::error_code& ec, size_t n);
    void HandleHello(std::span<const uint8_t> body);
    void Send(std::vector<uint8_t> frame, bool closeAfter);  // WELCOME and CLOSE
    void WriteBatch();
    void OnWritten(const asio::error_code& ec);

    asio::ip::tcp::socket socket_;
    asio::steady_timer closeTimer_;
    Services& services_;
    std::string peer_;
    std::shared_ptr<Session> session_;
    wire::FrameDecoder decoder_;
    std::array<uint8_t, 4096> buffer_;
    std::vector<Frame> inflight_;
    std::vector<asio::const_buffer> buffers_;
    std::vector<uint8_t> control_;          // WELCOME or CLOSE to write next
    std::vector<uint8_t> inflightControl_;  // the one being written
    bool controlPending_ = false;
    bool closeAfterControl_ = false;
    bool writing_ = false;
    bool attached_ = false;
    bool closing_ = false;
    bool stopped_ = false;
};

}  // namespace wyrlan
