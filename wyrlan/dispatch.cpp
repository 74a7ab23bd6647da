#include "wyrlan/dispatch.h"

#include <array>
#include <string_view>
#include <tuple>

#include "quendril/include/quendril.h"
#include "quendril/wire/message.h"
#include "wyrlan/call_connection.h"
#include "wyrlan/control.h"
#include "wyrlan/dispatch_store.h"
// Every header that declares handlers (WYRLAN_HANDLER) comes here.
#include "wyrlan/handlers_session.h"

namespace wyrlan {
namespace {

using quendril::api::FunctionId;

bool ReadOne(wire::ValueReader& r, Text& t) { return r.GetText(t); }
template <class T>
bool ReadOne(wire::ValueReader& r, T& v) { return r.Get(v); }

void WriteOne(wire::ValueWriter& w, const Text& t) { w.PutText(t); }
template <class T>
void WriteOne(wire::ValueWriter& w, T v) { w.Put(v); }

template <FunctionId Id>
concept HasHandler = requires { &Handler<Id>::Run; };

// Reads the in-values, runs Handler<Id> and encodes the answer into `frame`; the result.
template <FunctionId Id>
int32_t Invoke(CallContext& call, uint32_t seq, wire::ValueReader in, std::vector<uint8_t>& frame) {
    if constexpr (!HasHandler<Id>) {
        frame = BareAnswer(seq, QUENDRIL_NOT_SUPPORTED);
        return QUENDRIL_NOT_SUPPORTED;
    } else {
        In<Id> args{};
        bool ok = std::apply([&](auto&... v) { return (true && ... && ReadOne(in, v)); }, args);
        if (!ok || in.Remaining() != 0) {
            frame = BareAnswer(seq, QUENDRIL_BAD_ARGUMENT);
            return QUENDRIL_BAD_ARGUMENT;
        }
        Out<Id> out{};
        Reply r = Handler<Id>::Run(call, args, out);
        if (!r.withOut) {
            frame = BareAnswer(seq, r.result);
            return r.result;
        }
        wire::FrameWriter w;
        wire::ValueWriter& values = w.BeginAnswer(seq, r.result, std::tuple_size_v<Out<Id>>);
        std::apply([&](const auto&... v) { (WriteOne(values, v), ...); }, out);
        if (!w.Finish(frame)) {
            frame = BareAnswer(seq, QUENDRIL_TOO_LARGE);
            return QUENDRIL_TOO_LARGE;
        }
        return r.result;
    }
}

using Invoker = int32_t (*)(CallContext&, uint32_t, wire::ValueReader, std::vector<uint8_t>&);

constexpr Invoker kInvokers[] = {
#define WYRLAN_INVOKER(Name, ...) &Invoke<FunctionId::Name>,
    QUENDRIL_FUNCTIONS(WYRLAN_INVOKER)
#undef WYRLAN_INVOKER
};
static_assert(std::size(kInvokers) == quendril::api::kFunctionCount);

// The logon answer: [session number, events key].
std::vector<uint8_t> LogonAnswer(uint32_t seq, const Session& s) {
    wire::FrameWriter w;
    wire::ValueWriter& v = w.BeginAnswer(seq, 0, 2);
    v.Put(s.Number());
    v.PutUnsigned(s.EventsKey());
    std::vector<uint8_t> frame;
    w.Finish(frame);
    return frame;
}

void Record(CallContext& call, std::string_view name, int32_t result) {
    if (!call.session) return;
    call.session->lastCallName = name;
    call.session->lastCallResult = result;
}

}  // namespace

std::vector<uint8_t> BareAnswer(uint32_t seq, int32_t result) {
    wire::FrameWriter w;
    w.BeginAnswer(seq, result, 0);
    std::vector<uint8_t> frame;
    w.Finish(frame);
    return frame;
}

std::vector<uint8_t> Dispatch(CallContext& call, const wire::Message& m) {
    const quendril::api::FunctionInfo* f = nullptr;
    if (m.functionId >= 0) {
        // Ids are only meaningful when both sides were built from the same table.
        if (call.idsAccepted && static_cast<size_t>(m.functionId) < quendril::api::kFunctionCount) {
            f = &quendril::api::kFunctions[m.functionId];
        }
    } else if (!m.functionName.empty() && m.functionName.front() == '@') {
        if (!call.session) return BareAnswer(m.seq, QUENDRIL_NO_SESSION);
        int32_t result = DispatchControl(call, m.functionName, m.Values());
        Record(call, m.functionName, result);
        return BareAnswer(m.seq, result);
    } else {
        f = quendril::api::FindFunction(m.functionName);
    }
    if (f == nullptr) return BareAnswer(m.seq, QUENDRIL_NOT_SUPPORTED);

    const bool logon = (f->flags & quendril::api::kLogon) != 0;
    if (!call.session && !logon) return BareAnswer(m.seq, QUENDRIL_NO_SESSION);
    std::vector<uint8_t> frame;
    int32_t result = QUENDRIL_NOT_SUPPORTED;
    if (f->kind != quendril::api::Kind::kServer) {
        // Session and local functions run in the library; they have no business here.
        frame = BareAnswer(m.seq, result);
    } else if (StoreAnswers(call, *f)) {
        result = InvokeStore(call, *f, m.seq, m.Values(), frame);
    } else {
        result = kInvokers[static_cast<size_t>(f->id)](call, m.seq, m.Values(), frame);
        if (logon && result == 0 && call.session) frame = LogonAnswer(m.seq, *call.session);
    }
    if (f->id != FunctionId::GetLastAPIResult) Record(call, f->name, result);
    return frame;
}

}  // namespace wyrlan
