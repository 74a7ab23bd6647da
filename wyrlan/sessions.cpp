#include "wyrlan/sessions.h"

#include <vector>

#include "quendril/include/quendril.h"
#include "wyrlan/log.h"

namespace wyrlan {

Sessions::Sessions(int maxSessions) : max_(maxSessions), random_(std::random_device{}()) {}

std::shared_ptr<Session> Sessions::Create() {
    if (static_cast<int>(sessions_.size()) >= max_) return nullptr;
    // Numbers are not reused while the server runs (wrapping only after 2^31 logons).
    while (next_ <= 0 || sessions_.count(next_)) next_ = next_ <= 0 ? 1 : next_ + 1;
    uint64_t key = 0;
    while (key == 0) key = random_();
    auto s = std::make_shared<Session>(next_++, key);
    sessions_.emplace(s->Number(), s);
    return s;
}

std::shared_ptr<Session> Sessions::Find(int32_t number) const {
    auto it = sessions_.find(number);
    return it == sessions_.end() ? nullptr : it->second;
}

void Sessions::Remove(int32_t number) { sessions_.erase(number); }

void Sessions::Deliver(const std::shared_ptr<Session>& s, int kind, const Frame& frame) {
    if (s->Push(kind, frame)) return;
    LogError("session %d: event backlog over %zu bytes / %zu events, disconnecting", s->Number(),
             kMaxBacklogBytes, kMaxBacklogEvents);
    s->Disconnect(QUENDRIL_EVENT_BACKLOG);
    Remove(s->Number());
}

void Sessions::Publish(int kind, const Frame& frame, int32_t except) {
    // Copy first: a session over its backlog is removed while we go.
    for (auto& s : All()) {
        if (s->Number() != except) Deliver(s, kind, frame);
    }
}

bool Sessions::PublishTo(int32_t number, int kind, const Frame& frame) {
    auto s = Find(number);
    if (!s) return false;
    Deliver(s, kind, frame);
    return true;
}

void Sessions::DisconnectAll(int32_t reason) {
    auto all = std::move(sessions_);
    sessions_.clear();
    for (auto& [number, s] : all) s->Disconnect(reason);
}

std::vector<std::shared_ptr<Session>> Sessions::All() const {
    std::vector<std::shared_ptr<Session>> out;
    out.reserve(sessions_.size());
    for (auto& [number, s] : sessions_) out.push_back(s);
    return out;
}

}  // namespace wyrlan
