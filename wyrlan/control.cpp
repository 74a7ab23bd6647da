#include "wyrlan/control.h"

#include <vector>

#include "quendril/include/quendril.h"
#include "quendril/wire/message.h"
#include "wyrlan/call_connection.h"
#include "wyrlan/log.h"

namespace wyrlan {
namespace {

using quendril::api::Type;

constexpr int32_t kMaxHoldMs = 10 * 60 * 1000;

// Reads one field of type `t` from `in` and writes it to `out`, in its canonical encoding.
bool CopyField(Type t, wire::ValueReader& in, wire::ValueWriter& out) {
    switch (t) {
        case Type::kI16: { int16_t v; if (!in.Get(v)) return false; out.Put(v); return true; }
        case Type::kU16: { uint16_t v; if (!in.Get(v)) return false; out.Put(v); return true; }
        case Type::kI32: { int32_t v; if (!in.Get(v)) return false; out.Put(v); return true; }
        case Type::kI64: { int64_t v; if (!in.Get(v)) return false; out.Put(v); return true; }
        case Type::kF64:
        case Type::kDate: { double v; if (!in.Get(v)) return false; out.Put(v); return true; }
        case Type::kText: { Text v; if (!in.GetText(v)) return false; out.PutText(v); return true; }
    }
    return false;
}

// The sessions `target` names: all, the caller's, or one; empty with `found` false for an
// unknown number.
std::vector<std::shared_ptr<Session>> Targets(CallContext& call, int32_t target, bool& found) {
    std::vector<std::shared_ptr<Session>> out;
    found = true;
    if (target == 0) {
        out = call.services.sessions.All();
    } else if (target == -1) {
        out.push_back(call.session);
    } else if (auto s = call.services.sessions.Find(target); s && target > 0) {
        out.push_back(s);
    } else {
        found = false;
    }
    return out;
}

int32_t InjectEvent(CallContext& call, wire::ValueReader in) {
    int32_t target = 0;
    int16_t kind = 0;
    if (!in.Get(target) || !in.Get(kind) || kind < 1 || target < -1) return QUENDRIL_BAD_ARGUMENT;
    wire::FrameWriter w;
    const quendril::api::RecordInfo* rec = quendril::api::RecordOfKind(kind);
    const auto fields = rec ? quendril::api::FieldsOf(*rec) : std::span<const quendril::api::ParamInfo>{};
    wire::ValueWriter& out = w.BeginEvent(kind, static_cast<uint32_t>(fields.size()));
    for (const auto& field : fields) {
        if (!CopyField(field.type, in, out)) return QUENDRIL_BAD_ARGUMENT;
    }
    if (in.Remaining() != 0) return QUENDRIL_BAD_ARGUMENT;
    auto frame = std::make_shared<std::vector<uint8_t>>();
    if (!w.Finish(*frame)) return QUENDRIL_TOO_LARGE;
    Sessions& sessions = call.services.sessions;
    if (target == 0) {
        sessions.Publish(kind, frame);
    } else {
        int32_t number = target == -1 ? call.session->Number() : target;
        if (!sessions.PublishTo(number, kind, frame)) return QUENDRIL_NOT_FOUND;
    }
    return QUENDRIL_OK;
}

int32_t DropSession(CallContext& call, wire::ValueReader in) {
    int32_t target = 0;
    if (!in.Get(target) || in.Remaining() != 0 || target < -1) return QUENDRIL_BAD_ARGUMENT;
    bool found = false;
    auto targets = Targets(call, target, found);
    if (!found) return QUENDRIL_NOT_FOUND;
    for (auto& s : targets) {
        if (s == call.session) {
            call.connection.CloseAfterAnswer();  // answered first, then closed
            continue;
        }
        LogInfo("session %d: dropped by session %d", s->Number(), call.session->Number());
        s->Disconnect(0);
        call.services.sessions.Remove(s->Number());
    }
    return QUENDRIL_OK;
}

int32_t HoldAnswers(CallContext& call, wire::ValueReader in) {
    int32_t target = 0, ms = 0;
    if (!in.Get(target) || !in.Get(ms) || in.Remaining() != 0 || target < -1 || ms < 0 || ms > kMaxHoldMs) {
        return QUENDRIL_BAD_ARGUMENT;
    }
    bool found = false;
    auto targets = Targets(call, target, found);
    if (!found) return QUENDRIL_NOT_FOUND;
    const SteadyTime now = std::chrono::steady_clock::now();
    for (auto& s : targets) {
        s->holdFor = std::chrono::milliseconds(ms);
        s->holdUntil = now + s->holdFor;
    }
    return QUENDRIL_OK;
}

}  // namespace

int32_t DispatchControl(CallContext& call, std::string_view name, wire::ValueReader in) {
    int32_t (*f)(CallContext&, wire::ValueReader) = nullptr;
    if (name == "@InjectEvent") f = &InjectEvent;
    else if (name == "@DropSession") f = &DropSession;
    else if (name == "@HoldAnswers") f = &HoldAnswers;
    if (f == nullptr) return QUENDRIL_NOT_SUPPORTED;
    if (!call.session->internal) return QUENDRIL_NOT_ALLOWED;
    return f(call, in);
}

}  // namespace wyrlan
