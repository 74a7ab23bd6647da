// The registry of sessions: numbers, the session limit, lookup, removal and event fan-out.
// Single-threaded (the server's io_context thread).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "wyrlan/session.h"

namespace wyrlan {

class Sessions {
public:
    explicit Sessions(int maxSessions);

    // A new session with a fresh number and events key; nullptr when the limit is reached.
    std::shared_ptr<Session> Create();

    // The session of that number, or nullptr.
    std::shared_ptr<Session> Find(int32_t number) const;

    // Forgets the session (its connections are closed by Session::Disconnect). No-op when
    // unknown.
    void Remove(int32_t number);

    size_t Count() const { return sessions_.size(); }

    // Queues one EVENT frame for every session except `except` (0: none) whose mask passes
    // `kind`. Sessions over their backlog are disconnected with -119 and removed; the others
    // never wait for them.
    void Publish(int kind, const Frame& frame, int32_t except = 0);

    // Queues an EVENT frame for one session (mask applies). False when it is unknown.
    bool PublishTo(int32_t number, int kind, const Frame& frame);

    // Disconnects and removes every session.
    void DisconnectAll(int32_t reason);

    // Every session, in number order.
    std::vector<std::shared_ptr<Session>> All() const;

private:
    void Deliver(const std::shared_ptr<Session>& s, int kind, const Frame& frame);

    int max_;
    int32_t next_ = 1;
    std::mt19937_64 random_;
    std::map<int32_t, std::shared_ptr<Session>> sessions_;
};

}  // namespace wyrlan
