#include "wyrlan/call_connection.h"

#include <algorithm>

#include "quendril/api/api_table.h"
#include "quendril/include/quendril.h"
#include "quendril/wire/message.h"
#include "wyrlan/dispatch.h"
#include "wyrlan/log.h"

namespace wyrlan {
namespace {

// Reading pauses while this many answers wait to be written.
constexpr size_t kMaxQueuedAnswers = 256;
// A connection told to close gets this long to write its last frames.
constexpr std::chrono::seconds kCloseGrace{2};
// A connection that has not said HELLO by then is closed.
constexpr std::chrono::seconds kHelloTimeout{10};

std::string PeerOf(const asio::ip::tcp::socket& s) {
    asio::error_code ec;
    auto ep = s.remote_endpoint(ec);
    if (ec) return "?";
    return ep.address().to_string() + ":" + std::to_string(ep.port());
}

}  // namespace

CallConnection::CallConnection(asio::ip::tcp::socket socket, Services& services)
    : socket_(std::move(socket)),
      holdTimer_(socket_.get_executor()),
      closeTimer_(socket_.get_executor()),
      services_(services),
      peer_(PeerOf(socket_)) {}

void CallConnection::Start() {
    asio::error_code ec;
    socket_.set_option(asio::ip::tcp::no_delay(true), ec);
    closeTimer_.expires_after(kHelloTimeout);
    closeTimer_.async_wait([self = shared_from_this()](const asio::error_code& e) {
        if (!e && !self->helloDone_) {
            LogError("calls %s: no HELLO within %lld s, closing", self->peer_.c_str(),
                     static_cast<long long>(kHelloTimeout.count()));
            self->Stop();
        }
    });
    Read();
}

void CallConnection::Read() {
    if (reading_ || closing_ || stopped_) return;
    reading_ = true;
    socket_.async_read_some(asio::buffer(buffer_),
                            [self = shared_from_this()](const asio::error_code& ec, size_t n) {
                                self->OnRead(ec, n);
                            });
}

void CallConnection::OnRead(const asio::error_code& ec, size_t n) {
    reading_ = false;
    if (ec) {
        if (ec != asio::error::operation_aborted && ec != asio::error::eof && !stopped_) {
            LogError("calls %s: %s", peer_.c_str(), ec.message().c_str());
        }
        Stop();
        return;
    }
    std::span<const uint8_t> input(buffer_.data(), n);
    while (!input.empty() && !closing_ && !stopped_) {
        size_t consumed = 0;
        wire::FrameStatus st = decoder_.Feed(input, consumed);
        input = input.subspan(consumed);
        if (st == wire::FrameStatus::kBad) {
            ProtocolError("bad frame length");
            return;
        }
        if (st == wire::FrameStatus::kGood && !HandleBody(decoder_.Body())) break;
    }
    if (out_.size() < kMaxQueuedAnswers) Read();
}

bool CallConnection::HandleBody(std::span<const uint8_t> body) {
    wire::Message m;
    if (!m.Parse(body)) {
        ProtocolError("malformed message");
        return false;
    }
    const SteadyTime now = std::chrono::steady_clock::now();
    if (!helloDone_) {
        if (m.type != wire::MessageType::kHello || m.hello.channel != wire::Channel::kCalls) {
            ProtocolError("expected HELLO on the calls channel");
            return false;
        }
        wire::Welcome w;
        if (m.hello.version != wire::kProtocolVersion) {
            LogError("calls %s: protocol version %u, this server speaks %u", peer_.c_str(),
                     m.hello.version, wire::kProtocolVersion);
            w.result = QUENDRIL_PROTOCOL_MISMATCH;
            Enqueue(wire::EncodeWelcome(w), now, true);
            closing_ = true;
            return false;
        }
        idsAccepted_ = m.hello.apiDigest == quendril::api::kApiDigest;
        w.idsAccepted = idsAccepted_;
        helloDone_ = true;
        closeTimer_.cancel();
        Enqueue(wire::EncodeWelcome(w), now, false);
        return true;
    }
    if (m.type == wire::MessageType::kClose) {
        Stop();
        return false;
    }
    if (m.type != wire::MessageType::kCall) {
        ProtocolError("expected CALL");
        return false;
    }
    // A hold set by @HoldAnswers applies to calls received while it lasts.
    SteadyTime release = now;
    if (session_ && now < session_->holdUntil) release = now + session_->holdFor;
    closeAfterAnswer_ = false;
    CallContext ctx{services_, *this, session_, idsAccepted_};
    std::vector<uint8_t> answer = Dispatch(ctx, m);
    Enqueue(std::move(answer), release, closeAfterAnswer_);
    if (closeAfterAnswer_) {
        closing_ = true;
        return false;
    }
    return true;
}

void CallConnection::ProtocolError(const char* what) {
    LogError("calls %s%s%s: %s, closing", peer_.c_str(), session_ ? " session " : "",
             session_ ? std::to_string(session_->Number()).c_str() : "", what);
    CloseWith(QUENDRIL_BAD_MESSAGE);
}

void CallConnection::CloseWith(int32_t reason) {
    if (stopped_) return;
    if (reason == 0) {
        Stop();
        return;
    }
    if (closing_ && !out_.empty() && out_.back().closeAfter) return;  // a close is on its way
    closing_ = true;
    Enqueue(wire::EncodeClose(reason), std::chrono::steady_clock::now(), true);
    closeTimer_.expires_after(kCloseGrace);
    closeTimer_.async_wait([self = shared_from_this()](const asio::error_code& ec) {
        if (!ec) self->Stop();
    });
}

void CallConnection::Enqueue(std::vector<uint8_t> frame, SteadyTime release, bool closeAfter) {
    if (stopped_) return;
    // Answers leave in order: one held back keeps the later ones behind it.
    release = std::max(release, lastRelease_);
    lastRelease_ = release;
    out_.push_back(Outgoing{std::move(frame), release, closeAfter});
    Flush();
}

void CallConnection::Flush() {
    if (writing_ || stopped_ || out_.empty()) return;
    const SteadyTime now = std::chrono::steady_clock::now();
    if (out_.front().release > now) {
        holdTimer_.expires_at(out_.front().release);
        holdTimer_.async_wait([self = shared_from_this()](const asio::error_code& ec) {
            if (!ec) self->Flush();
        });
        return;
    }
    writing_ = true;
    asio::async_write(socket_, asio::buffer(out_.front().frame),
                      [self = shared_from_this()](const asio::error_code& ec, size_t) {
                          self->OnWritten(ec);
                      });
}

void CallConnection::OnWritten(const asio::error_code& ec) {
    writing_ = false;
    if (ec) {
        if (ec != asio::error::operation_aborted && !stopped_) {
            LogError("calls %s: write: %s", peer_.c_str(), ec.message().c_str());
        }
        Stop();
        return;
    }
    bool closeAfter = out_.front().closeAfter;
    out_.pop_front();
    if (closeAfter) {
        Stop();
        return;
    }
    Flush();
    if (!closing_ && out_.size() < kMaxQueuedAnswers) Read();
}

void CallConnection::Stop() {
    if (stopped_) return;
    stopped_ = true;
    asio::error_code ec;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    socket_.close(ec);
    holdTimer_.cancel();
    closeTimer_.cancel();
    out_.clear();
    if (session_) {
        // A session ends with its calls connection.
        std::shared_ptr<Session> s = std::move(session_);
        session_.reset();
        if (!s->Closed() && !s->loggedOff) LogInfo("session %d: calls connection closed, session ended", s->Number());
        s->Disconnect(s->loggedOff ? QUENDRIL_NO_SESSION : 0);
        services_.sessions.Remove(s->Number());
    }
}

}  // namespace wyrlan
