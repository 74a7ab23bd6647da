// One logon to the controller server: the calls connection, the events connection with its
// receiver thread, and the session's event queue.
//
// Thread-safety: every member function may be called from any thread. Calls of one session are
// serialised by its call mutex; the event queue has its own mutex, shared with the receiver
// thread, so reading events never waits for a call in progress.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "quendril/api/api_table.h"
#include "quendril/include/quendril.h"
#include "quendril/wire/message.h"

namespace quendril {

// A connected TCP socket with the bytes it has received but not yet framed.
class Connection {
public:
    enum class Read { kFrame, kTimeout, kClosed, kBad };

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { Close(); }

    // Connects within `timeoutMs`; false when the server cannot be reached.
    bool Connect(const std::string& host, uint16_t port, int timeoutMs);
    // Sends a whole frame; false when the connection is gone.
    bool Send(const std::vector<uint8_t>& frame);
    // The next frame body into `body`, waiting until `deadline` (steady clock, ms); a negative
    // deadline waits without limit.
    Read ReadFrame(std::vector<uint8_t>& body, int64_t deadlineMs);
    // Wakes a thread blocked in ReadFrame (it sees kClosed); the descriptor stays open.
    void Shutdown();
    void Close();
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
    wire::FrameDecoder decoder_;
    std::vector<uint8_t> pending_;
    size_t pendingAt_ = 0;
};

// What the logon functions hand to Session::Logon.
struct LogonRequest {
    api::FunctionId function = api::FunctionId::ClientLogon;
    std::vector<uint8_t> callFrame;  // the logon CALL, in-values encoded, seq 1
    std::string host = "127.0.0.1";
    uint16_t callPort = 5123;
    uint16_t eventsPort = 5124;
    int32_t callTimeout = 10000;
    int64_t window = 0;
    int32_t messageNo = 0;
};

// One queued event: its kind and the whole EVENT body, decoded when a reader takes it.
struct QueuedEvent {
    int16_t kind = 0;
    std::vector<uint8_t> body;
};

class Session {
public:
    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    // Opens both connections and logs on. 0 on success; otherwise the server's refusal (-103,
    // -104, -105 ...), -112 when the server cannot be reached, -23 or -14 when it stops
    // answering during the logon. A failed logon leaves nothing open.
    int32_t Logon(const LogonRequest& request);

    // Sends one CALL (frame built by `encode(writer, seq)`) and waits for its ANSWER within the
    // call time-out. The answer's values are handed to `decode` with the result.
    //   -14 connection closed (and from then on for every call), -23 time-out, -121 too large.
    template <class Encode, class Decode>
    int32_t Call(Encode&& encode, Decode&& decode);

    // Logs off: the ClientLogoff call (best effort), then both connections are closed and the
    // receiver thread joined. Always leaves the session closed.
    int32_t Logoff();

    // ---- event queue ----
    int32_t ProcessEvents();
    int32_t EventsCount(int32_t* count);
    int32_t NextEventType(int16_t* kind);
    int32_t DiscardNextEvent();
    // Removes the head event into `event`: 0, or -109 when the queue is empty.
    int32_t TakeNextEvent(QueuedEvent& event);
    std::u16string EventsDebugText();

    int32_t CallsSocket() const { return calls_.Fd(); }
    int32_t EventsSocket() const { return events_.Fd(); }
    int32_t ServerSession() const { return serverSession_; }
    bool Dead() const { return dead_.load(); }
    int32_t DeadResult() const { return -14; }

private:
    int32_t CallLocked(const std::vector<uint8_t>& frame, uint32_t seq, wire::Message& answer);
    void Receive();
    void MarkDead();
    void Notify(int64_t lparam);

    Connection calls_;
    Connection events_;
    bool idsAccepted_ = false;
    int32_t serverSession_ = 0;
    int32_t timeoutMs_ = 10000;
    int windowFd_ = -1;
    int32_t messageNo_ = 0;

    std::mutex callMutex_;
    uint32_t seq_ = 1;
    std::atomic<bool> dead_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> closedNotified_{false};

    std::thread receiver_;
    std::mutex eventsMutex_;
    std::deque<QueuedEvent> received_;
    std::deque<QueuedEvent> readable_;
    uint64_t receivedTotal_ = 0;

public:
    bool IdsAccepted() const { return idsAccepted_; }
};

template <class Encode, class Decode>
int32_t Session::Call(Encode&& encode, Decode&& decode) {
    std::lock_guard<std::mutex> lock(callMutex_);
    if (dead_.load()) return -14;
    uint32_t seq = ++seq_;
    std::vector<uint8_t> frame;
    if (!encode(seq, idsAccepted_, frame)) return QUENDRIL_TOO_LARGE;
    wire::Message answer;
    int32_t res = CallLocked(frame, seq, answer);
    if (res != 0) return res;
    wire::ValueReader values = answer.Values();
    decode(answer.result, values);
    return answer.result;
}

// ---- the session registry ----

// The session of a handle; null for 0, an unknown or a logged-off handle.
std::shared_ptr<Session> FindSession(int32_t handle);
// Registers a logged-on session; returns its new handle (never reused in this process).
int32_t AddSession(std::shared_ptr<Session> session);
// Unregisters the handle; returns the session, null when unknown.
std::shared_ptr<Session> RemoveSession(int32_t handle);
// The plain functions' session handle; 0 when there is none.
int32_t DefaultHandle();
void SetDefaultHandle(int32_t handle);

}  // namespace quendril
