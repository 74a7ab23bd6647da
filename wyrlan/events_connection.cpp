#include "wyrlan/events_connection.h"

#include "quendril/api/api_table.h"
#include "quendril/include/quendril.h"
#include "quendril/wire/message.h"
#include "wyrlan/log.h"

namespace wyrlan {
namespace {

// One write takes up to this many bytes of queued events.
constexpr size_t kBatchBytes = 256 * 1024;
constexpr std::chrono::seconds kCloseGrace{2};
constexpr std::chrono::seconds kHelloTimeout{10};

}  // namespace

EventsConnection::EventsConnection(asio::ip::tcp::socket socket, Services& services)
    : socket_(std::move(socket)), closeTimer_(socket_.get_executor()), services_(services) {
    asio::error_code ec;
    auto ep = socket_.remote_endpoint(ec);
    peer_ = ec ? "?" : ep.address().to_string() + ":" + std::to_string(ep.port());
}

void EventsConnection::Start() {
    asio::error_code ec;
    socket_.set_option(asio::ip::tcp::no_delay(true), ec);
    closeTimer_.expires_after(kHelloTimeout);
    closeTimer_.async_wait([self = shared_from_this()](const asio::error_code& e) {
        if (!e && !self->attached_ && !self->closing_) {
            LogError("events %s: no HELLO within %lld s, closing", self->peer_.c_str(),
                     static_cast<long long>(kHelloTimeout.count()));
            self->Stop();
        }
    });
    Read();
}

void EventsConnection::Read() {
    socket_.async_read_some(asio::buffer(buffer_),
                            [self = shared_from_this()](const asio::error_code& ec, size_t n) {
                                self->OnRead(ec, n);
                            });
}

void EventsConnection::OnRead(const asio::error_code& ec, size_t n) {
    if (stopped_) return;
    if (ec) {
        if (ec != asio::error::operation_aborted && ec != asio::error::eof) {
            LogError("events %s: %s", peer_.c_str(), ec.message().c_str());
        }
        Stop();
        return;
    }
    if (closing_) {
        Read();  // draining until the close is written
        return;
    }
    std::span<const uint8_t> input(buffer_.data(), n);
    while (!input.empty() && !closing_) {
        if (attached_) {
            LogError("events %s: the client sent data after HELLO, closing", peer_.c_str());
            CloseWith(QUENDRIL_BAD_MESSAGE);
            break;
        }
        size_t consumed = 0;
        wire::FrameStatus st = decoder_.Feed(input, consumed);
        input = input.subspan(consumed);
        if (st == wire::FrameStatus::kBad) {
            LogError("events %s: bad frame length, closing", peer_.c_str());
            CloseWith(QUENDRIL_BAD_MESSAGE);
            break;
        }
        if (st == wire::FrameStatus::kGood) HandleHello(decoder_.Body());
    }
    if (!stopped_) Read();
}

void EventsConnection::HandleHello(std::span<const uint8_t> body) {
    wire::Message m;
    if (!m.Parse(body) || m.type != wire::MessageType::kHello || m.hello.channel != wire::Channel::kEvents) {
        LogError("events %s: expected HELLO on the events channel, closing", peer_.c_str());
        CloseWith(QUENDRIL_BAD_MESSAGE);
        return;
    }
    wire::Welcome w;
    if (m.hello.version != wire::kProtocolVersion) {
        w.result = QUENDRIL_PROTOCOL_MISMATCH;
        closing_ = true;
        Send(wire::EncodeWelcome(w), true);
        return;
    }
    auto s = services_.sessions.Find(m.hello.session);
    if (!s || s->Closed() || s->EventsKey() != m.hello.eventsKey || s->HasEvents()) {
        LogError("events %s: no session %d with that key, closing", peer_.c_str(), m.hello.session);
        w.result = QUENDRIL_NO_SESSION;
        closing_ = true;
        Send(wire::EncodeWelcome(w), true);
        return;
    }
    session_ = s;
    attached_ = true;
    closeTimer_.cancel();
    s->AttachEvents(shared_from_this());
    w.idsAccepted = m.hello.apiDigest == quendril::api::kApiDigest;
    Send(wire::EncodeWelcome(w), false);
}

void EventsConnection::Send(std::vector<uint8_t> frame, bool closeAfter) {
    control_ = std::move(frame);
    controlPending_ = true;
    closeAfterControl_ = closeAfter;
    WriteBatch();
}

void EventsConnection::Kick() { WriteBatch(); }

void EventsConnection::WriteBatch() {
    if (writing_ || stopped_) return;
    inflight_.clear();
    buffers_.clear();
    if (controlPending_) {
        inflightControl_ = std::move(control_);
        control_.clear();
        buffers_.push_back(asio::buffer(inflightControl_));
        controlPending_ = false;
    } else if (closing_) {
        return;
    }
    // Events follow the WELCOME in the same write; nothing follows a CLOSE.
    if (!closeAfterControl_ && attached_ && session_) {
        size_t bytes = 0;
        while (session_->HasQueued() && bytes < kBatchBytes) {
            Frame f = session_->PopQueued();
            bytes += f->size();
            buffers_.push_back(asio::buffer(*f));
            inflight_.push_back(std::move(f));
        }
    }
    if (buffers_.empty()) return;
    writing_ = true;
    asio::async_write(socket_, buffers_, [self = shared_from_this()](const asio::error_code& ec, size_t) {
        self->OnWritten(ec);
    });
}

void EventsConnection::OnWritten(const asio::error_code& ec) {
    writing_ = false;
    inflight_.clear();
    if (stopped_) return;
    if (ec) {
        if (ec != asio::error::operation_aborted) {
            LogError("events %s: write: %s", peer_.c_str(), ec.message().c_str());
        }
        Stop();
        return;
    }
    if (closeAfterControl_ && !controlPending_) {
        Stop();
        return;
    }
    WriteBatch();
}

void EventsConnection::CloseWith(int32_t reason) {
    if (stopped_) return;
    if (reason == 0) {
        Stop();
        return;
    }
    if (closing_ && closeAfterControl_) return;
    closing_ = true;
    Send(wire::EncodeClose(reason), true);
    closeTimer_.expires_after(kCloseGrace);
    closeTimer_.async_wait([self = shared_from_this()](const asio::error_code& e) {
        if (!e) self->Stop();
    });
}

void EventsConnection::Stop() {
    if (stopped_) return;
    stopped_ = true;
    asio::error_code ec;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    socket_.close(ec);
    closeTimer_.cancel();
    session_.reset();  // the session lives on with its calls connection
}

}  // namespace wyrlan
