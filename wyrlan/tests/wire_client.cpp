#include "wyrlan/tests/wire_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "platform/text.h"
#include "quendril/api/api_table.h"

namespace wyrlan::test {

WireClient::~WireClient() { Close(); }

bool WireClient::Connect(const std::string& address, uint16_t port) {
    Close();
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        Close();
        return false;
    }
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

void WireClient::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    decoder_.Reset();
    pending_.clear();
}

bool WireClient::Send(const std::vector<uint8_t>& bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        ssize_t n = send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

std::unique_ptr<Received> WireClient::Receive(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!pending_.empty()) {
            size_t consumed = 0;
            wire::FrameStatus st = decoder_.Feed(pending_, consumed);
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(consumed));
            if (st == wire::FrameStatus::kBad) return nullptr;
            if (st == wire::FrameStatus::kGood) {
                auto r = std::make_unique<Received>();
                r->body.assign(decoder_.Body().begin(), decoder_.Body().end());
                if (!r->message.Parse(r->body)) return nullptr;
                return r;
            }
        }
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now()).count());
        if (left <= 0 || fd_ < 0) return nullptr;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, left) <= 0) return nullptr;
        uint8_t buf[65536];
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return nullptr;
        pending_.insert(pending_.end(), buf, buf + n);
    }
}

bool WireClient::WaitClosed(int timeoutMs, int32_t* closeReason) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        // Whatever is left undecoded is drained with the rest.
        if (!pending_.empty()) {
            size_t consumed = 0;
            wire::FrameStatus st = decoder_.Feed(pending_, consumed);
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(consumed));
            if (st == wire::FrameStatus::kGood) {
                wire::Message m;
                if (m.Parse(decoder_.Body()) && m.type == wire::MessageType::kClose && closeReason) {
                    *closeReason = m.result;
                }
                continue;
            }
            if (st == wire::FrameStatus::kBad) pending_.clear();
        }
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now()).count());
        if (left <= 0 || fd_ < 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, left) <= 0) return false;
        uint8_t buf[65536];
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return true;
        pending_.insert(pending_.end(), buf, buf + n);
    }
}

int32_t WireClient::Hello(wire::Channel channel, int32_t session, uint64_t key, uint32_t version,
                          uint64_t digest) {
    wire::Hello h;
    h.version = version;
    h.channel = channel;
    h.apiDigest = digest;
    h.session = session;
    h.eventsKey = key;
    if (!Send(wire::EncodeHello(h))) return -9999;
    auto r = Receive();
    if (!r || r->message.type != wire::MessageType::kWelcome) return -9999;
    return r->message.welcome.result;
}

std::unique_ptr<Received> WireClient::Call(const std::string& name, uint32_t argCount,
                                           const std::function<void(wire::ValueWriter&)>& fill,
                                           int timeoutMs) {
    wire::FrameWriter w;
    wire::ValueWriter& v = w.BeginCallByName(seq_++, name, argCount);
    if (fill) fill(v);
    std::vector<uint8_t> frame;
    if (!w.Finish(frame) || !Send(frame)) return nullptr;
    return Receive(timeoutMs);
}

std::unique_ptr<Received> WireClient::CallId(uint16_t id, uint32_t argCount,
                                             const std::function<void(wire::ValueWriter&)>& fill,
                                             int timeoutMs) {
    wire::FrameWriter w;
    wire::ValueWriter& v = w.BeginCall(seq_++, id, argCount);
    if (fill) fill(v);
    std::vector<uint8_t> frame;
    if (!w.Finish(frame) || !Send(frame)) return nullptr;
    return Receive(timeoutMs);
}

namespace {

int32_t TakeLogon(TestSession& s, std::unique_ptr<Received> r) {
    if (!r || r->message.type != wire::MessageType::kAnswer) return s.result = -9999;
    s.result = r->message.result;
    if (s.result == 0) {
        auto v = r->message.Values();
        if (!v.Get(s.number) || !v.Get(s.key)) return s.result = -9998;
    }
    return s.result;
}

}  // namespace

int32_t TestSession::LogonInternal(const std::string& address, uint16_t callPort, const std::string& hashKey,
                                   int32_t eventMask, int32_t clientId) {
    if (!calls.Connect(address, callPort) || calls.Hello(wire::Channel::kCalls) != 0) return result = -9999;
    const std::u16string key = platform::FromUtf8(hashKey);
    return TakeLogon(*this, calls.Call("InternalClientLogon", 6, [&](wire::ValueWriter& w) {
        w.Put(clientId);
        w.Put(int16_t{1});
        w.PutText(std::optional<std::u16string>(u"test"));
        w.Put(int16_t{0});
        w.PutText(std::optional<std::u16string>(key));
        w.Put(eventMask);
    }));
}

int32_t TestSession::Logon(const std::string& address, uint16_t callPort, int32_t clientId) {
    if (!calls.Connect(address, callPort) || calls.Hello(wire::Channel::kCalls) != 0) return result = -9999;
    return TakeLogon(*this, calls.Call("ClientLogon", 2, [&](wire::ValueWriter& w) {
        w.Put(clientId);
        w.Put(int16_t{1});
    }));
}

int32_t TestSession::OpenEvents(const std::string& address, uint16_t eventsPort) {
    if (!events.Connect(address, eventsPort)) return -9999;
    return events.Hello(wire::Channel::kEvents, number, key);
}

}  // namespace wyrlan::test
