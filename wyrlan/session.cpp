#include "wyrlan/session.h"

#include "wyrlan/call_connection.h"
#include "wyrlan/events_connection.h"

namespace wyrlan {

bool MaskPasses(uint32_t mask, int kind) {
    if (kind > 27) return true;
    if (kind < 1) return false;
    return (mask & (1u << (kind - 1))) != 0;
}

bool Session::Push(int kind, const Frame& frame) {
    if (closed_ || !MaskPasses(eventMask, kind)) return true;
    if (queue_.size() >= kMaxBacklogEvents || queuedBytes_ + frame->size() > kMaxBacklogBytes) return false;
    queue_.push_back(frame);
    queuedBytes_ += frame->size();
    if (auto e = events_.lock()) e->Kick();
    return true;
}

Frame Session::PopQueued() {
    Frame f = std::move(queue_.front());
    queue_.pop_front();
    queuedBytes_ -= f->size();
    return f;
}

void Session::Disconnect(int32_t reason) {
    if (closed_) return;
    closed_ = true;
    queue_.clear();
    queuedBytes_ = 0;
    if (auto c = calls_.lock()) c->CloseWith(reason);
    if (auto e = events_.lock()) e->CloseWith(reason);
}

}  // namespace wyrlan
