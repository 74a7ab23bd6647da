#include "quendril/lib/session.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>

namespace quendril {

namespace {

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Milliseconds left until `deadline` for poll(): -1 without a deadline, never below 0.
int PollTimeout(int64_t deadlineMs) {
    if (deadlineMs < 0) return -1;
    int64_t left = deadlineMs - NowMs();
    if (left < 0) return 0;
    return left > 0x7fffffff ? 0x7fffffff : static_cast<int>(left);
}

}  // namespace

// ---- Connection ---------------------------------------------------------------------------------

bool Connection::Connect(const std::string& host, uint16_t port, int timeoutMs) {
    Close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    char portText[8];
    std::snprintf(portText, sizeof portText, "%u", static_cast<unsigned>(port));
    if (getaddrinfo(host.c_str(), portText, &hints, &found) != 0 || found == nullptr) return false;
    int64_t deadline = NowMs() + timeoutMs;
    for (addrinfo* a = found; a != nullptr && fd_ < 0; a = a->ai_next) {
        int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) continue;
        int rc = connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int n;
            do {
                n = poll(&p, 1, PollTimeout(deadline));
            } while (n < 0 && errno == EINTR);
            int err = 0;
            socklen_t len = sizeof err;
            if (n == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) rc = 0;
        }
        if (rc != 0) {
            ::close(fd);
            continue;
        }
        int flags = fcntl(fd, F_GETFL);
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        fd_ = fd;
    }
    freeaddrinfo(found);
    return fd_ >= 0;
}

bool Connection::Send(const std::vector<uint8_t>& frame) {
    if (fd_ < 0) return false;
    size_t at = 0;
    while (at < frame.size()) {
        ssize_t n = send(fd_, frame.data() + at, frame.size() - at, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

Connection::Read Connection::ReadFrame(std::vector<uint8_t>& body, int64_t deadlineMs) {
    if (fd_ < 0) return Read::kClosed;
    for (;;) {
        while (pendingAt_ < pending_.size()) {
            size_t consumed = 0;
            std::span<const uint8_t> input(pending_.data() + pendingAt_, pending_.size() - pendingAt_);
            wire::FrameStatus st = decoder_.Feed(input, consumed);
            pendingAt_ += consumed;
            if (st == wire::FrameStatus::kGood) {
                auto b = decoder_.Body();
                body.assign(b.begin(), b.end());
                return Read::kFrame;
            }
            if (st == wire::FrameStatus::kBad) return Read::kBad;
        }
        pollfd p{fd_, POLLIN, 0};
        int n = poll(&p, 1, PollTimeout(deadlineMs));
        if (n < 0) {
            if (errno == EINTR) continue;
            return Read::kClosed;
        }
        if (n == 0) return Read::kTimeout;
        pending_.resize(64 * 1024);
        ssize_t got = recv(fd_, pending_.data(), pending_.size(), 0);
        if (got < 0 && errno == EINTR) {
            pending_.clear();
            pendingAt_ = 0;
            continue;
        }
        if (got <= 0) {
            pending_.clear();
            pendingAt_ = 0;
            return Read::kClosed;
        }
        pending_.resize(static_cast<size_t>(got));
        pendingAt_ = 0;
    }
}

void Connection::Shutdown() {
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void Connection::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    decoder_.Reset();
    pending_.clear();
    pendingAt_ = 0;
}

// ---- Session ------------------------------------------------------------------------------------

Session::~Session() {
    stopping_ = true;
    events_.Shutdown();
    if (receiver_.joinable()) receiver_.join();
    if (windowFd_ >= 0) ::close(windowFd_);
}

namespace {

// Reads the WELCOME that follows a HELLO; its result, or -14 / -23 / -113.
int32_t ReadWelcome(Connection& c, int64_t deadline, bool& idsAccepted) {
    std::vector<uint8_t> body;
    Connection::Read r = c.ReadFrame(body, deadline);
    if (r == Connection::Read::kTimeout) return QUENDRIL_TIMEOUT;
    if (r != Connection::Read::kFrame) return QUENDRIL_CONNECTION_CLOSED;
    wire::Message m;
    if (!m.Parse(body)) return QUENDRIL_BAD_MESSAGE;
    if (m.type == wire::MessageType::kClose) return m.result != 0 ? m.result : QUENDRIL_CONNECTION_CLOSED;
    if (m.type != wire::MessageType::kWelcome) return QUENDRIL_BAD_MESSAGE;
    idsAccepted = m.welcome.idsAccepted;
    return m.welcome.result;
}

// A descriptor of our own for the caller's notification pipe, non-blocking without touching
// the flags of the caller's descriptor: reopening a pipe through /proc gives a new open file
// description. Other kinds of descriptor get a plain duplicate, written only when poll() says
// there is room.
int OpenWindow(int64_t window) {
    if (window <= 0 || window > 0x7fffffff) return -1;
    char path[40];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", static_cast<int>(window));
    int fd = ::open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) return fd;
    return fcntl(static_cast<int>(window), F_DUPFD_CLOEXEC, 0);
}

}  // namespace

int32_t Session::Logon(const LogonRequest& request) {
    timeoutMs_ = request.callTimeout > 0 ? request.callTimeout : 10000;
    int64_t deadline = NowMs() + timeoutMs_;
    if (!calls_.Connect(request.host, request.callPort, timeoutMs_)) return QUENDRIL_CANNOT_CONNECT;

    wire::Hello hello;
    hello.apiDigest = api::kApiDigest;
    if (!calls_.Send(wire::EncodeHello(hello))) return QUENDRIL_CANNOT_CONNECT;
    int32_t res = ReadWelcome(calls_, deadline, idsAccepted_);
    if (res != 0) {
        calls_.Close();
        return res;
    }

    // The logon call itself; its answer carries the server's session number and events key.
    if (!calls_.Send(request.callFrame)) {
        calls_.Close();
        return QUENDRIL_CONNECTION_CLOSED;
    }
    wire::Message answer;
    std::vector<uint8_t> body;
    for (;;) {
        Connection::Read r = calls_.ReadFrame(body, deadline);
        if (r == Connection::Read::kTimeout) res = QUENDRIL_TIMEOUT;
        else if (r != Connection::Read::kFrame) res = QUENDRIL_CONNECTION_CLOSED;
        else if (!answer.Parse(body)) res = QUENDRIL_BAD_MESSAGE;
        else if (answer.type == wire::MessageType::kClose)
            res = answer.result != 0 ? answer.result : QUENDRIL_CONNECTION_CLOSED;
        else if (answer.type != wire::MessageType::kAnswer) res = QUENDRIL_BAD_MESSAGE;
        else if (answer.seq != 1) continue;
        else res = answer.result;
        break;
    }
    uint64_t eventsKey = 0;
    if (res == 0) {
        wire::ValueReader v = answer.Values();
        if (v.Remaining() != 2 || !v.Get(serverSession_) || !v.Get(eventsKey)) res = QUENDRIL_BAD_MESSAGE;
    }
    if (res != 0) {
        calls_.Close();
        return res;
    }

    if (!events_.Connect(request.host, request.eventsPort, PollTimeout(deadline))) {
        calls_.Close();
        return QUENDRIL_CANNOT_CONNECT;
    }
    wire::Hello eventsHello;
    eventsHello.channel = wire::Channel::kEvents;
    eventsHello.apiDigest = api::kApiDigest;
    eventsHello.session = serverSession_;
    eventsHello.eventsKey = eventsKey;
    bool ignored = false;
    res = events_.Send(wire::EncodeHello(eventsHello)) ? ReadWelcome(events_, deadline, ignored)
                                                        : QUENDRIL_CONNECTION_CLOSED;
    if (res != 0) {
        events_.Close();
        calls_.Close();
        return res;
    }

    windowFd_ = OpenWindow(request.window);
    messageNo_ = request.messageNo;
    receiver_ = std::thread([this] { Receive(); });
    return 0;
}

int32_t Session::CallLocked(const std::vector<uint8_t>& frame, uint32_t seq, wire::Message& answer) {
    if (!calls_.Send(frame)) {
        MarkDead();
        return QUENDRIL_CONNECTION_CLOSED;
    }
    int64_t deadline = NowMs() + timeoutMs_;
    std::vector<uint8_t> body;
    for (;;) {
        Connection::Read r = calls_.ReadFrame(body, deadline);
        if (r == Connection::Read::kTimeout) return QUENDRIL_TIMEOUT;
        if (r != Connection::Read::kFrame || !answer.Parse(body)) {
            MarkDead();
            return QUENDRIL_CONNECTION_CLOSED;
        }
        if (answer.type == wire::MessageType::kAnswer) {
            if (answer.seq == seq) return 0;
            continue;  // the late answer of a call that timed out
        }
        // CLOSE, or anything else out of place on the calls connection.
        MarkDead();
        return QUENDRIL_CONNECTION_CLOSED;
    }
}

int32_t Session::Logoff() {
    int32_t res = 0;
    {
        std::lock_guard<std::mutex> lock(callMutex_);
        if (!dead_.load()) {
            uint32_t seq = ++seq_;
            wire::FrameWriter w;
            if (idsAccepted_)
                w.BeginCall(seq, static_cast<uint16_t>(api::FunctionId::ClientLogoff), 0);
            else
                w.BeginCallByName(seq, "ClientLogoff", 0);
            std::vector<uint8_t> frame;
            wire::Message answer;
            if (w.Finish(frame)) {
                int32_t r = CallLocked(frame, seq, answer);
                // A connection that is already gone has logged off as well.
                res = r == 0 ? answer.result : (r == QUENDRIL_TIMEOUT ? r : 0);
            }
        }
        stopping_ = true;
        dead_ = true;
        calls_.Close();
    }
    events_.Shutdown();
    if (receiver_.joinable()) receiver_.join();
    events_.Close();
    return res;
}

void Session::MarkDead() {
    dead_ = true;
    // The receiver notices the events connection ending on its own; a calls connection that
    // failed first wakes it, so that the closed record is written once, by that thread.
    events_.Shutdown();
}

void Session::Notify(int64_t lparam) {
    if (windowFd_ < 0) return;
    QuendrilNotification n{messageNo_, 0, lparam};
    pollfd p{windowFd_, POLLOUT, 0};
    if (poll(&p, 1, 0) != 1 || (p.revents & POLLOUT) == 0) return;  // full: drop the record
    ssize_t w = ::write(windowFd_, &n, sizeof n);
    if (w < 0 && errno == EPIPE) {
        // Nobody reads the pipe any more; take back the SIGPIPE raised at this thread.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        timespec zero{0, 0};
        sigtimedwait(&pipe, nullptr, &zero);
    }
}

void Session::Receive() {
    // Writes to a pipe whose reader is gone raise SIGPIPE; keep it from this thread.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    std::vector<uint8_t> body;
    for (;;) {
        Connection::Read r = events_.ReadFrame(body, -1);
        if (r != Connection::Read::kFrame) break;
        wire::Message m;
        if (!m.Parse(body)) break;
        if (m.type == wire::MessageType::kClose) break;
        if (m.type != wire::MessageType::kEvent) continue;
        bool wasEmpty;
        {
            std::lock_guard<std::mutex> lock(eventsMutex_);
            wasEmpty = received_.empty();
            received_.push_back(QueuedEvent{m.kind, std::move(body)});
            ++receivedTotal_;
        }
        body = {};
        // One record per batch: the reader drains everything received up to its ProcessEvents.
        if (wasEmpty) Notify(1);
    }
    dead_ = true;
    if (!stopping_.load() && !closedNotified_.exchange(true)) Notify(2);
}

int32_t Session::ProcessEvents() {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    while (!received_.empty()) {
        readable_.push_back(std::move(received_.front()));
        received_.pop_front();
    }
    // Events already received stay readable after the connection closed; once the queue is
    // empty, a dead session reports the loss.
    if (readable_.empty() && dead_.load()) return QUENDRIL_CONNECTION_CLOSED;
    return 0;
}

int32_t Session::EventsCount(int32_t* count) {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    if (count != nullptr) *count = static_cast<int32_t>(readable_.size());
    return 0;
}

int32_t Session::NextEventType(int16_t* kind) {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    if (kind != nullptr) *kind = readable_.empty() ? 0 : readable_.front().kind;
    return 0;
}

int32_t Session::DiscardNextEvent() {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    if (readable_.empty()) return QUENDRIL_NO_EVENT;
    readable_.pop_front();
    return 0;
}

int32_t Session::TakeNextEvent(QueuedEvent& event) {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    if (readable_.empty()) return QUENDRIL_NO_EVENT;
    event = std::move(readable_.front());
    readable_.pop_front();
    return 0;
}

std::u16string Session::EventsDebugText() {
    std::map<int, int> byKind;
    size_t readable, received;
    uint64_t total;
    {
        std::lock_guard<std::mutex> lock(eventsMutex_);
        for (const QueuedEvent& e : readable_) ++byKind[e.kind];
        readable = readable_.size();
        received = received_.size();
        total = receivedTotal_;
    }
    std::string text = "readable " + std::to_string(readable) + ", received " + std::to_string(received) +
                       ", total " + std::to_string(total) + ", connection " + (dead_.load() ? "closed" : "open");
    for (auto [kind, n] : byKind) text += "; kind " + std::to_string(kind) + ": " + std::to_string(n);
    return std::u16string(text.begin(), text.end());
}

// ---- registry -----------------------------------------------------------------------------------

namespace {

struct Registry {
    std::mutex mutex;
    std::map<int32_t, std::shared_ptr<Session>> sessions;
    int32_t next = 1;
    int32_t defaultHandle = 0;
};

// Never destroyed: sessions left open at process exit keep their threads blocked in poll()
// and are torn down with the process, without running destructors in an unknown order.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

}  // namespace

std::shared_ptr<Session> FindSession(int32_t handle) {
    if (handle == 0) return nullptr;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.sessions.find(handle);
    return it == r.sessions.end() ? nullptr : it->second;
}

int32_t AddSession(std::shared_ptr<Session> session) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.next <= 0) return 0;  // 2^31 logons in one process: no handle left
    int32_t handle = r.next++;
    r.sessions.emplace(handle, std::move(session));
    return handle;
}

std::shared_ptr<Session> RemoveSession(int32_t handle) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.sessions.find(handle);
    if (it == r.sessions.end()) return nullptr;
    std::shared_ptr<Session> s = std::move(it->second);
    r.sessions.erase(it);
    if (r.defaultHandle == handle) r.defaultHandle = 0;
    return s;
}

int32_t DefaultHandle() {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.defaultHandle;
}

void SetDefaultHandle(int32_t handle) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.defaultHandle = handle;
}

}  // namespace quendril
