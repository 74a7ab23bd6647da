// The exported C functions. Server calls and event readers are produced from the function
// table (QUENDRIL_FUNCTIONS / QUENDRIL_MT_FUNCTIONS) by the templates below; the logons, the
// logoff, the queue functions and the local functions are written out.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#include "quendril/api/api_table.h"
#include "quendril/include/quendril.h"
#include "quendril/include/quendril_control.h"
#include "quendril/lib/session.h"
#include "quendril/lib/texts.h"
#include "quendril/wire/message.h"

namespace quendril {
namespace {

using api::Dir;
using api::FunctionId;
using api::Params;
using api::Type;

template <FunctionId Id> struct SigOf;
#define QUENDRIL_SIG_OF(Name, Kind, Ret, Session, CParams, CArgs) \
    template <> struct SigOf<FunctionId::Name> { using type = api::sig::Name; };
QUENDRIL_FUNCTIONS(QUENDRIL_SIG_OF)
#undef QUENDRIL_SIG_OF

// ---- values to and from the wire ----

template <class P>
void PutIn(wire::ValueWriter& w, typename P::CType v) {
    if constexpr (P::dir == Dir::kIn) {
        if constexpr (P::type == Type::kText)
            w.PutBstr(v);
        else
            w.Put(v);
    }
}

// Storage for one decoded out-value; empty for parameters of other directions.
template <class P, bool = (P::dir == Dir::kOut)>
struct OutSlot {
    typename P::Value value{};
    bool Read(wire::ValueReader& r) {
        if constexpr (P::type == Type::kText)
            return r.GetBstr(value);
        else
            return r.Get(value);
    }
    void Store(typename P::CType target) {
        if constexpr (P::type == Type::kText) {
            if (target == nullptr) {
                SysFreeString(value);
            } else {
                SysFreeString(*target);  // in/out: the caller's old text goes
                *target = value;
            }
        } else if (target != nullptr) {
            *target = value;
        }
        value = {};
    }
    void Drop() {
        if constexpr (P::type == Type::kText) SysFreeString(value);
        value = {};
    }
};
template <class P>
struct OutSlot<P, false> {
    bool Read(wire::ValueReader&) { return true; }
    void Store(typename P::CType) {}
    void Drop() {}
};

// Decodes the out-values of an answer into the caller's variables: all of them or none.
template <class... P, size_t... I>
void StoreOuts(wire::ValueReader& r, std::index_sequence<I...>, typename P::CType... args) {
    constexpr size_t kOut = Params<P...>::kOut;
    if (kOut == 0 || r.Remaining() != kOut) return;
    std::tuple<OutSlot<P>...> slots;
    bool ok = true;
    ((ok = ok && std::get<I>(slots).Read(r)), ...);
    if (ok) {
        (std::get<I>(slots).Store(args), ...);
    } else {
        (std::get<I>(slots).Drop(), ...);
    }
}

// ---- server calls ----

template <FunctionId Id, class Sig> struct ServerCall;
template <FunctionId Id, class... P>
struct ServerCall<Id, Params<P...>> {
    static int32_t Run(Session& s, typename P::CType... args) {
        const api::FunctionInfo& f = api::Info(Id);
        auto encode = [&](uint32_t seq, bool byId, std::vector<uint8_t>& frame) {
            wire::FrameWriter w;
            wire::ValueWriter& v = byId ? w.BeginCall(seq, static_cast<uint16_t>(Id), Params<P...>::kIn)
                                        : w.BeginCallByName(seq, f.name, Params<P...>::kIn);
            (PutIn<P>(v, args), ...);
            return w.Finish(frame);
        };
        auto decode = [&](int32_t, wire::ValueReader& r) {
            StoreOuts<P...>(r, std::index_sequence_for<P...>{}, args...);
        };
        return s.Call(encode, decode);
    }
};

// ---- event readers ----

// One wire field of an event, decoded by its runtime type.
struct Field {
    Type type = Type::kI32;
    int64_t integer = 0;
    double real = 0;
    BSTR text = nullptr;
};

// Where each out-parameter of a reader comes from in the record its kind carries: matched by
// name, so the older readers (GetNextPumpEvent ...) take their fields from the wider record.
// -1: the record has no such field and the caller's variable keeps its value.
struct ReaderMap {
    const api::RecordInfo* wire = nullptr;
    std::vector<int> source;
};

ReaderMap MakeReaderMap(const api::FunctionInfo& f) {
    ReaderMap m;
    m.wire = api::RecordOfKind(f.event);
    if (m.wire == nullptr) return m;
    auto fields = api::FieldsOf(*m.wire);
    for (const api::ParamInfo& p : api::ParamsOf(f)) {
        std::string_view name = p.name;
        if (name == "ShortGradeName" && m.wire->kind == 2) name = "GradeShortName";
        int at = -1;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (name == fields[i].name) at = static_cast<int>(i);
        }
        m.source.push_back(at);
    }
    return m;
}

template <class P>
void StoreField(Field& from, typename P::CType target) {
    if (target == nullptr) return;
    using V = typename P::Value;
    if constexpr (P::type == Type::kText) {
        SysFreeString(*target);
        *target = from.text;
        from.text = nullptr;
    } else if constexpr (P::type == Type::kF64 || P::type == Type::kDate) {
        *target = from.real;
    } else {
        // Narrower readers take the low bits of a wider field (PumpNumber i32 -> i16).
        *target = static_cast<V>(from.integer);
    }
}

bool ReadField(wire::ValueReader& r, Field& f) {
    switch (f.type) {
    case Type::kI16:
    case Type::kU16:
    case Type::kI32:
    case Type::kI64: return r.Get(f.integer);
    case Type::kF64:
    case Type::kDate: return r.Get(f.real);
    case Type::kText: return r.GetBstr(f.text);
    }
    return false;
}

template <FunctionId Id, class Sig> struct Reader;
template <FunctionId Id, class... P>
struct Reader<Id, Params<P...>> {
    static int32_t Run(Session& s, typename P::CType... args) {
        static const ReaderMap map = MakeReaderMap(api::Info(Id));
        QueuedEvent e;
        int32_t res = s.TakeNextEvent(e);  // removed whatever happens below
        if (res != 0) return res;
        if (e.kind != api::Info(Id).event || map.wire == nullptr) return QUENDRIL_WRONG_EVENT_KIND;
        wire::Message m;
        if (!m.Parse(e.body)) return QUENDRIL_BAD_MESSAGE;
        auto types = api::FieldsOf(*map.wire);
        wire::ValueReader r = m.Values();
        if (r.Remaining() != types.size()) return QUENDRIL_BAD_MESSAGE;
        std::vector<Field> fields(types.size());
        bool ok = true;
        for (size_t i = 0; i < types.size() && ok; ++i) {
            fields[i].type = types[i].type;
            ok = ReadField(r, fields[i]);
        }
        if (ok) {
            size_t i = 0;
            ((map.source[i] >= 0 ? StoreField<P>(fields[static_cast<size_t>(map.source[i])], args) : void(), ++i),
             ...);
        }
        for (Field& f : fields) SysFreeString(f.text);
        return ok ? 0 : QUENDRIL_BAD_MESSAGE;
    }
};

// ---- the queue and socket functions ----

template <FunctionId Id> struct SessionOp;
template <> struct SessionOp<FunctionId::ProcessEvents> {
    static int32_t Run(Session& s) { return s.ProcessEvents(); }
};
template <> struct SessionOp<FunctionId::GetEventsCount> {
    static int32_t Run(Session& s, int32_t* n) { return s.EventsCount(n); }
};
template <> struct SessionOp<FunctionId::GetNextEventType> {
    static int32_t Run(Session& s, int16_t* k) { return s.NextEventType(k); }
};
template <> struct SessionOp<FunctionId::DiscardNextEvent> {
    static int32_t Run(Session& s) { return s.DiscardNextEvent(); }
};
template <> struct SessionOp<FunctionId::EventsDebug> {
    static int32_t Run(Session& s, BSTR* text) {
        if (text == nullptr) return QUENDRIL_BAD_ARGUMENT;
        std::u16string t = s.EventsDebugText();
        BSTR b = SysAllocStringLen(t.data(), static_cast<uint32_t>(t.size()));
        if (b == nullptr) return QUENDRIL_NO_MEMORY;
        SysFreeString(*text);
        *text = b;
        return 0;
    }
};
template <> struct SessionOp<FunctionId::GetClientCallsSocket> {
    static int32_t Run(Session& s, int32_t* fd) {
        if (fd != nullptr) *fd = s.Dead() ? -1 : s.CallsSocket();
        return 0;
    }
};
template <> struct SessionOp<FunctionId::GetClientEventsSocket> {
    static int32_t Run(Session& s, int32_t* fd) {
        if (fd != nullptr) *fd = s.Dead() ? -1 : s.EventsSocket();
        return 0;
    }
};

// ---- entry points: a session handle to the implementation ----

template <FunctionId Id>
struct Entry {
    template <class... A>
    static int32_t MT(int32_t handle, A... args) {
        std::shared_ptr<Session> s = FindSession(handle);
        if (!s) return QUENDRIL_NO_SESSION;
        constexpr const api::FunctionInfo& f = api::Info(Id);
        if constexpr (f.kind == api::Kind::kServer) {
            return ServerCall<Id, typename SigOf<Id>::type>::Run(*s, args...);
        } else if constexpr (f.event != 0) {
            return Reader<Id, typename SigOf<Id>::type>::Run(*s, args...);
        } else {
            return SessionOp<Id>::Run(*s, args...);
        }
    }
    template <class... A>
    static int32_t Plain(A... args) {
        return MT(DefaultHandle(), args...);
    }
};

// ---- logons and logoff ----

std::string HostOf(BSTR name) {
    uint32_t n = SysStringLen(name);
    std::string host;
    for (uint32_t i = 0; i < n; ++i) {
        if (name[i] == 0 || name[i] > 0x7e) break;  // host names are ASCII
        host += static_cast<char>(name[i]);
    }
    return host.empty() ? std::string("127.0.0.1") : host;
}

// Encodes the logon CALL (seq 1) from the table's in-parameters; locals stay here.
template <FunctionId Id, class Sig> struct LogonFrame;
template <FunctionId Id, class... P>
struct LogonFrame<Id, Params<P...>> {
    static std::vector<uint8_t> Make(typename P::CType... args) {
        // The calls connection says whether ids are accepted only after HELLO; the logon is
        // always sent by name, which every server understands.
        wire::FrameWriter w;
        wire::ValueWriter& v = w.BeginCallByName(1, api::Info(Id).name, Params<P...>::kIn);
        (PutIn<P>(v, args), ...);
        std::vector<uint8_t> frame;
        w.Finish(frame);
        return frame;
    }
};

int32_t DoLogon(int32_t* handle, LogonRequest& request, bool plain) {
    if (!plain && handle == nullptr) return QUENDRIL_BAD_ARGUMENT;
    if (request.callFrame.empty()) return QUENDRIL_TOO_LARGE;
    auto session = std::make_shared<Session>();
    int32_t res = session->Logon(request);
    if (res != 0) {
        if (handle != nullptr) *handle = 0;
        return res;
    }
    int32_t h = AddSession(session);
    if (h == 0) {
        session->Logoff();
        return QUENDRIL_TOO_MANY_SESSIONS;
    }
    if (plain) {
        // A plain logon replaces the default session; the old one is logged off.
        int32_t old = DefaultHandle();
        SetDefaultHandle(h);
        if (std::shared_ptr<Session> s = RemoveSession(old)) s->Logoff();
    } else {
        *handle = h;
    }
    return 0;
}

int32_t LogonPlainOrMT(int32_t* handle, bool plain, int32_t ClientID, int16_t ClientType, int32_t EventHandle,
                       int64_t Window, int32_t MessageNo) {
    LogonRequest r;
    r.function = FunctionId::ClientLogon;
    r.callFrame = LogonFrame<FunctionId::ClientLogon, api::sig::ClientLogon>::Make(
        ClientID, ClientType, EventHandle, Window, MessageNo);
    r.window = Window;
    r.messageNo = MessageNo;
    return DoLogon(handle, r, plain);
}

int32_t LogonExPlainOrMT(int32_t* handle, bool plain, int32_t ClientID, int16_t ClientType, BSTR ServerName,
                         uint16_t CallPortNo, uint16_t EventsPortNo, int32_t CallTimeout, int32_t EventHandle,
                         int64_t Window, int32_t MessageNo) {
    LogonRequest r;
    r.function = FunctionId::ClientLogonEx;
    r.callFrame = LogonFrame<FunctionId::ClientLogonEx, api::sig::ClientLogonEx>::Make(
        ClientID, ClientType, ServerName, CallPortNo, EventsPortNo, CallTimeout, EventHandle, Window, MessageNo);
    r.host = HostOf(ServerName);
    r.callPort = CallPortNo;
    r.eventsPort = EventsPortNo;
    r.callTimeout = CallTimeout;
    r.window = Window;
    r.messageNo = MessageNo;
    return DoLogon(handle, r, plain);
}

int32_t InternalLogonPlainOrMT(int32_t* handle, bool plain, int32_t ClientID, int16_t ClientType,
                               BSTR ClientName, int16_t ClientCategory, BSTR HashKey, int32_t EventMask,
                               BSTR ServerName, uint16_t CallPortNo, uint16_t EventsPortNo, int32_t CallTimeout,
                               int32_t EventHandle, int64_t Window, int32_t MessageNo) {
    LogonRequest r;
    r.function = FunctionId::InternalClientLogon;
    r.callFrame = LogonFrame<FunctionId::InternalClientLogon, api::sig::InternalClientLogon>::Make(
        ClientID, ClientType, ClientName, ClientCategory, HashKey, EventMask, ServerName, CallPortNo, EventsPortNo,
        CallTimeout, EventHandle, Window, MessageNo);
    r.host = HostOf(ServerName);
    r.callPort = CallPortNo;
    r.eventsPort = EventsPortNo;
    r.callTimeout = CallTimeout;
    r.window = Window;
    r.messageNo = MessageNo;
    return DoLogon(handle, r, plain);
}

int32_t LogoffHandle(int32_t handle) {
    std::shared_ptr<Session> s = RemoveSession(handle);
    if (!s) return QUENDRIL_NO_SESSION;
    return s->Logoff();
}

BSTR MakeBstr(const std::string& ascii) {
    std::u16string units(ascii.begin(), ascii.end());
    return SysAllocStringLen(units.data(), static_cast<uint32_t>(units.size()));
}

// ---- control interface ----

int32_t InjectEvent(int32_t handle, int32_t target, int16_t kind, const QuendrilValue* values, int32_t count) {
    std::shared_ptr<Session> s = FindSession(handle);
    if (!s) return QUENDRIL_NO_SESSION;
    if (count < 0 || (count > 0 && values == nullptr) || count > 4000) return QUENDRIL_BAD_ARGUMENT;
    auto encode = [&](uint32_t seq, bool, std::vector<uint8_t>& frame) {
        wire::FrameWriter w;
        wire::ValueWriter& v = w.BeginCallByName(seq, "@InjectEvent", static_cast<uint32_t>(count) + 2);
        v.Put(target);
        v.Put(kind);
        for (int32_t i = 0; i < count; ++i) {
            const QuendrilValue& q = values[i];
            switch (q.Type) {
            case QUENDRIL_VALUE_I16: v.Put(static_cast<int16_t>(q.Int)); break;
            case QUENDRIL_VALUE_U16: v.Put(static_cast<uint16_t>(q.Int)); break;
            case QUENDRIL_VALUE_I32: v.Put(static_cast<int32_t>(q.Int)); break;
            case QUENDRIL_VALUE_I64: v.Put(static_cast<int64_t>(q.Int)); break;
            case QUENDRIL_VALUE_F64:
            case QUENDRIL_VALUE_DATE: v.Put(q.Real); break;
            case QUENDRIL_VALUE_TEXT: v.PutBstr(q.Text); break;
            default: v.PutNull(); break;  // refused by the server as a wrong value
            }
        }
        return w.Finish(frame);
    };
    return s->Call(encode, [](int32_t, wire::ValueReader&) {});
}

template <class... A>
int32_t ControlCall(int32_t handle, const char* name, A... args) {
    std::shared_ptr<Session> s = FindSession(handle);
    if (!s) return QUENDRIL_NO_SESSION;
    auto encode = [&](uint32_t seq, bool, std::vector<uint8_t>& frame) {
        wire::FrameWriter w;
        wire::ValueWriter& v = w.BeginCallByName(seq, name, sizeof...(A));
        (v.Put(args), ...);
        return w.Finish(frame);
    };
    return s->Call(encode, [](int32_t, wire::ValueReader&) {});
}

// The logons and the logoff: their MT twins take the handle's address.
template <> struct Entry<FunctionId::ClientLogon> {
    static int32_t MT(int32_t* h, int32_t a, int16_t b, int32_t c, int64_t d, int32_t e) {
        return LogonPlainOrMT(h, false, a, b, c, d, e);
    }
    static int32_t Plain(int32_t a, int16_t b, int32_t c, int64_t d, int32_t e) {
        return LogonPlainOrMT(nullptr, true, a, b, c, d, e);
    }
};
template <> struct Entry<FunctionId::ClientLogonEx> {
    template <class... A> static int32_t MT(int32_t* h, A... a) { return LogonExPlainOrMT(h, false, a...); }
    template <class... A> static int32_t Plain(A... a) { return LogonExPlainOrMT(nullptr, true, a...); }
};
template <> struct Entry<FunctionId::InternalClientLogon> {
    template <class... A> static int32_t MT(int32_t* h, A... a) { return InternalLogonPlainOrMT(h, false, a...); }
    template <class... A> static int32_t Plain(A... a) { return InternalLogonPlainOrMT(nullptr, true, a...); }
};
template <> struct Entry<FunctionId::ClientLogoff> {
    static int32_t MT(int32_t* h) {
        if (h == nullptr) return QUENDRIL_NO_SESSION;
        int32_t res = LogoffHandle(*h);
        *h = 0;
        return res;
    }
    static int32_t Plain() { return LogoffHandle(DefaultHandle()); }
};

}  // namespace
}  // namespace quendril

using quendril::Entry;
using quendril::api::FunctionId;

extern "C" {

// ---- produced from the table: every function with an MT twin ----

#define QUENDRIL_DEFINE_ENTRY(Name, Kind, Ret, Session, CParams, CArgs)      \
    Ret Name CParams { return Entry<FunctionId::Name>::Plain CArgs; }      \
    Ret Name##MT(QUENDRIL_PREPEND(Session quendrilHandle, CParams)) {      \
        return Entry<FunctionId::Name>::MT(QUENDRIL_PREPEND(quendrilHandle, CArgs)); \
    }
QUENDRIL_MT_FUNCTIONS(QUENDRIL_DEFINE_ENTRY)
#undef QUENDRIL_DEFINE_ENTRY

// ---- local functions ----

int32_t DllVersion(BSTR* pVersionStr) {
    if (pVersionStr == nullptr) return QUENDRIL_BAD_ARGUMENT;
    BSTR b = quendril::MakeBstr("Quendril client library 2.6.0");
    if (b == nullptr) return QUENDRIL_NO_MEMORY;
    SysFreeString(*pVersionStr);
    *pVersionStr = b;
    return 0;
}

BSTR ResultString(int32_t Res) { return quendril::MakeBstr(quendril::ResultText(Res)); }
BSTR PumpStateString(int16_t State) { return quendril::MakeBstr(quendril::PumpStateText(State)); }
BSTR DeliveryStateString(int16_t State) { return quendril::MakeBstr(quendril::DeliveryStateText(State)); }
BSTR DeliveryTypeString(int16_t Type) { return quendril::MakeBstr(quendril::DeliveryTypeText(Type)); }
BSTR ReserveTypeString(int16_t Type) { return quendril::MakeBstr(quendril::ReserveTypeText(Type)); }

int32_t CheckSocketClosed(int64_t LParam) {
    return LParam == QUENDRIL_NOTIFY_CLOSED ? QUENDRIL_CONNECTION_CLOSED : 0;
}

// The library never reconnects on its own; the component renews lost sessions itself.
int32_t WasReconnected(void) { return 0; }

// ---- control interface ----

int32_t QuendrilInjectEventMT(int32_t session, int32_t target, int16_t kind, const QuendrilValue* values,
                              int32_t count) {
    return quendril::InjectEvent(session, target, kind, values, count);
}
int32_t QuendrilInjectEvent(int32_t target, int16_t kind, const QuendrilValue* values, int32_t count) {
    return quendril::InjectEvent(quendril::DefaultHandle(), target, kind, values, count);
}
int32_t QuendrilDropSessionMT(int32_t session, int32_t target) {
    return quendril::ControlCall(session, "@DropSession", target);
}
int32_t QuendrilDropSession(int32_t target) {
    return quendril::ControlCall(quendril::DefaultHandle(), "@DropSession", target);
}
int32_t QuendrilHoldAnswersMT(int32_t session, int32_t target, int32_t milliseconds) {
    return quendril::ControlCall(session, "@HoldAnswers", target, milliseconds);
}
int32_t QuendrilHoldAnswers(int32_t target, int32_t milliseconds) {
    return quendril::ControlCall(quendril::DefaultHandle(), "@HoldAnswers", target, milliseconds);
}
int32_t QuendrilServerSessionMT(int32_t session, int32_t* serverSession) {
    std::shared_ptr<quendril::Session> s = quendril::FindSession(session);
    if (!s) return QUENDRIL_NO_SESSION;
    if (serverSession != nullptr) *serverSession = s->ServerSession();
    return 0;
}
int32_t QuendrilServerSession(int32_t* serverSession) {
    return QuendrilServerSessionMT(quendril::DefaultHandle(), serverSession);
}

}  // extern "C"
