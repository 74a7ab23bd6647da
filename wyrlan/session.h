// One logged-on client: its identity, event mask, the events queued for it, and weak links to
// its two connections. Sessions live in the Sessions registry; connections keep theirs alive
// with a shared_ptr. Everything runs on the server's one thread: no locking.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace wyrlan {

class CallConnection;
class EventsConnection;

using Frame = std::shared_ptr<const std::vector<uint8_t>>;  // one encoded frame, shared by fan-out
using SteadyTime = std::chrono::steady_clock::time_point;

// Events queued for a session that are not yet handed to the socket. Past either bound the
// session is disconnected with -119.
inline constexpr size_t kMaxBacklogBytes = 8u << 20;
inline constexpr size_t kMaxBacklogEvents = 50000;

// Event mask used by ClientLogon and ClientLogonEx.
inline constexpr uint32_t kDefaultEventMask = 0xC47;

// True when an event of `kind` passes `mask`: bit (kind - 1) for kinds 1..27, and every kind
// above 27.
bool MaskPasses(uint32_t mask, int kind);

class Session {
public:
    Session(int32_t number, uint64_t eventsKey) : number_(number), eventsKey_(eventsKey) {}

    int32_t Number() const { return number_; }
    uint64_t EventsKey() const { return eventsKey_; }

    // Who logged on.
    int32_t clientId = 0;
    int16_t clientType = 0;
    std::u16string clientName;
    int16_t clientCategory = 0;
    bool loggedOff = false; // ClientLogoff was answered: the connections close with CLOSE 8
    bool internal = false;  // InternalClientLogon with the right hash key: control calls allowed
    uint32_t eventMask = kDefaultEventMask;

    // GetLastAPIResult reports the last call before it.
    std::string lastCallName;
    int32_t lastCallResult = 0;

    // @HoldAnswers: answers to calls received before holdUntil are sent holdFor after the call.
    SteadyTime holdUntil{};
    std::chrono::milliseconds holdFor{0};

    // Queues `frame` (an EVENT of `kind`) when the mask passes it. False when the backlog is
    // over its bound: the caller then drops the session.
    bool Push(int kind, const Frame& frame);
    // The events connection takes queued frames from here.
    bool HasQueued() const { return !queue_.empty(); }
    Frame PopQueued();
    size_t QueuedBytes() const { return queuedBytes_; }

    void AttachCalls(const std::shared_ptr<CallConnection>& c) { calls_ = c; }
    void AttachEvents(const std::shared_ptr<EventsConnection>& e) { events_ = e; }
    bool HasEvents() const { return !events_.expired(); }

    // Closes both connections; `reason` != 0 sends CLOSE with it first where the connection
    // can still write. Safe to call more than once.
    void Disconnect(int32_t reason);

    bool Closed() const { return closed_; }

private:
    int32_t number_;
    uint64_t eventsKey_;
    std::deque<Frame> queue_;
    size_t queuedBytes_ = 0;
    std::weak_ptr<CallConnection> calls_;
    std::weak_ptr<EventsConnection> events_;
    bool closed_ = false;
};

}  // namespace wyrlan
