#include "wyrlan/handlers_session.h"

#include "platform/text.h"
#include "quendril/include/quendril.h"
#include "quendril/wire/values.h"
#include "wyrlan/call_connection.h"
#include "wyrlan/log.h"

namespace wyrlan {
namespace {


// Opens a session for the calling connection. The answer's values (number, events key) are
// written by the dispatch.
Reply Open(CallContext& call, int32_t clientId, int16_t clientType, const char* how,
           const std::function<void(Session&)>& fill) {
    if (call.session) return Fail(QUENDRIL_ALREADY_LOGGED_ON);
    std::shared_ptr<Session> s = call.services.sessions.Create();
    if (!s) {
        LogError("calls %s: logon refused, %zu sessions already", call.connection.Peer().c_str(),
                 call.services.sessions.Count());
        return Fail(QUENDRIL_TOO_MANY_SESSIONS);
    }
    s->clientId = clientId;
    s->clientType = clientType;
    if (fill) fill(*s);
    s->AttachCalls(call.connection.shared_from_this());
    call.session = s;
    LogInfo("session %d: %s from %s, client %d type %d, event mask 0x%X", s->Number(), how,
            call.connection.Peer().c_str(), clientId, clientType, s->eventMask);
    return Ok();
}

}  // namespace

std::u16string ToUtf16(std::string_view utf8) { return platform::FromUtf8(utf8.data(), utf8.size()); }

WYRLAN_HANDLE(ClientLogon) {
    return Open(call, std::get<0>(in), std::get<1>(in), "ClientLogon", nullptr);
}

WYRLAN_HANDLE(ClientLogonEx) {
    return Open(call, std::get<0>(in), std::get<1>(in), "ClientLogonEx", nullptr);
}

WYRLAN_HANDLE(InternalClientLogon) {
    const auto& [clientId, clientType, name, category, hashKey, eventMask] = in;
    if (call.session) return Fail(QUENDRIL_ALREADY_LOGGED_ON);
    if (!hashKey || *hashKey != call.services.hashKey) {
        LogError("calls %s: InternalClientLogon with a wrong hash key refused", call.connection.Peer().c_str());
        return Fail(QUENDRIL_WRONG_HASH_KEY);
    }
    return Open(call, clientId, clientType, "InternalClientLogon", [&](Session& s) {
        s.clientName = name.value_or(u"");
        s.clientCategory = category;
        s.internal = true;
        s.eventMask = static_cast<uint32_t>(eventMask);
    });
}

WYRLAN_HANDLE(ClientLogoff) {
    LogInfo("session %d: logoff (%s)", call.session->Number(), platform::ToUtf8(call.session->clientName).c_str());
    call.session->loggedOff = true;
    call.connection.CloseAfterAnswer();
    return Ok();
}

WYRLAN_HANDLE(SetClientType) {
    const uint32_t key = static_cast<uint32_t>(std::get<0>(in));
    // A client key without the top four bits doubles as the session's event mask.
    if (key != 0 && (key & 0xF0000000u) == 0) call.session->eventMask = key;
    return Ok();
}

WYRLAN_HANDLE(ClientStatus) {
    std::get<0>(out) = 0;  // pumps reserved: none until the forecourt model exists
    std::get<1>(out) = 0;  // deliveries locked
    return Ok();
}

WYRLAN_HANDLE(GetClientsCount) {
    std::get<0>(out) = static_cast<int32_t>(call.services.sessions.Count());
    return Ok();
}

WYRLAN_HANDLE(GetLastAPIResult) {
    const Session& s = *call.session;
    std::get<0>(out) = ToUtf16(s.lastCallName);
    std::get<1>(out) = s.lastCallResult;
    std::get<2>(out) = 0;
    std::get<3>(out) = std::u16string();
    return Ok();
}

WYRLAN_HANDLE(FireClientEvent) {
    const auto& [eventId, text] = in;
    const int32_t clientId = call.session->clientId;
    Frame frame = MakeEvent(4, 3, [&](wire::ValueWriter& w) {
        w.Put(clientId);
        w.Put(eventId);
        w.PutText(text);
    });
    if (!frame) return Fail(QUENDRIL_TOO_LARGE);
    call.services.sessions.Publish(4, frame, call.session->Number());
    return Ok();
}

WYRLAN_HANDLE(ServerVersion) {
    std::get<0>(out) = ToUtf16(kServerVersionText);
    return Ok();
}

WYRLAN_HANDLE(TestConnection) { return Ok(); }

}  // namespace wyrlan
