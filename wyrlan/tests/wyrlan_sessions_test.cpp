// Sessions against the real server: logon variants and refusals, the session limit, logoff,
// and the session functions that are real now.
#include <gtest/gtest.h>

#include "quendril/include/quendril.h"
#include "wyrlan/testing/server_process.h"
#include "wyrlan/tests/wire_client.h"

namespace wyrlan::test {
namespace {

int32_t CallResult(WireClient& c, const char* name, uint32_t n = 0,
                   const std::function<void(wire::ValueWriter&)>& fill = nullptr) {
    auto a = c.Call(name, n, fill);
    return a ? a->message.result : -9999;
}

int32_t ClientsCount(WireClient& c) {
    auto a = c.Call("GetClientsCount");
    int32_t n = -1;
    if (a && a->message.result == 0) {
        auto v = a->message.Values();
        v.Get(n);
    }
    return n;
}

class SessionsTest : public ::testing::Test {
protected:
    void Start(std::vector<std::string> args = {}) { ASSERT_TRUE(server_.Start("127.0.3.2", std::move(args))); }
    const std::string& Addr() const { return server_.Address(); }
    ServerProcess server_;
};

TEST_F(SessionsTest, LogonsGiveDistinctSessionsAndInternalOnesCheckTheHashKey) {
    Start();
    TestSession plain, ex, internal, wrong, null;
    ASSERT_EQ(plain.Logon(Addr(), server_.CallPort()), 0);
    ASSERT_TRUE(ex.calls.Connect(Addr(), server_.CallPort()));
    ASSERT_EQ(ex.calls.Hello(wire::Channel::kCalls), 0);
    EXPECT_EQ(CallResult(ex.calls, "ClientLogonEx", 2, [](wire::ValueWriter& w) {
                  w.Put(int32_t{2});
                  w.Put(int16_t{3});
              }), 0);
    ASSERT_EQ(internal.LogonInternal(Addr(), server_.CallPort(), kHashKey), 0);
    EXPECT_NE(plain.number, internal.number);
    EXPECT_NE(plain.key, internal.key);

    EXPECT_EQ(wrong.LogonInternal(Addr(), server_.CallPort(), "7F3A-91C2-KESTRUM-2601"), QUENDRIL_WRONG_HASH_KEY);
    ASSERT_TRUE(null.calls.Connect(Addr(), server_.CallPort()));
    ASSERT_EQ(null.calls.Hello(wire::Channel::kCalls), 0);
    EXPECT_EQ(CallResult(null.calls, "InternalClientLogon", 6, [](wire::ValueWriter& w) {
                  w.Put(int32_t{1});
                  w.Put(int16_t{1});
                  w.PutNull();
                  w.Put(int16_t{0});
                  w.PutNull();  // a null hash key is a wrong one
                  w.Put(int32_t{-1});
              }), QUENDRIL_WRONG_HASH_KEY);
    // A refused logon leaves the connection usable, still without a session.
    EXPECT_EQ(CallResult(wrong.calls, "TestConnection"), QUENDRIL_NO_SESSION);
    EXPECT_EQ(ClientsCount(plain.calls), 3);
    // A second logon on a logged-on connection is refused.
    EXPECT_EQ(CallResult(plain.calls, "ClientLogon", 2, [](wire::ValueWriter& w) {
                  w.Put(int32_t{1});
                  w.Put(int16_t{1});
              }), QUENDRIL_ALREADY_LOGGED_ON);
}

TEST_F(SessionsTest, AConfiguredHashKeyReplacesTheDefault) {
    Start({"--hash-key", "SITE-KEY-1"});
    TestSession a, b;
    EXPECT_EQ(a.LogonInternal(Addr(), server_.CallPort(), kHashKey), QUENDRIL_WRONG_HASH_KEY);
    EXPECT_EQ(b.LogonInternal(Addr(), server_.CallPort(), "SITE-KEY-1"), 0);
}

TEST_F(SessionsTest, TheSessionLimitRefusesAndFreesOnLogoff) {
    Start({"--max-sessions", "2"});
    TestSession a, b, c;
    ASSERT_EQ(a.Logon(Addr(), server_.CallPort()), 0);
    ASSERT_EQ(b.Logon(Addr(), server_.CallPort()), 0);
    EXPECT_EQ(c.Logon(Addr(), server_.CallPort()), QUENDRIL_TOO_MANY_SESSIONS);

    ASSERT_EQ(a.OpenEvents(Addr(), server_.EventsPort()), 0);
    EXPECT_EQ(CallResult(a.calls, "ClientLogoff"), 0);
    EXPECT_TRUE(a.calls.WaitClosed(3000));
    int32_t reason = 0;
    EXPECT_TRUE(a.events.WaitClosed(3000, &reason));
    EXPECT_EQ(reason, QUENDRIL_NO_SESSION);

    // The refused connection may try again once there is room.
    EXPECT_EQ(CallResult(c.calls, "ClientLogon", 2, [](wire::ValueWriter& w) {
                  w.Put(int32_t{1});
                  w.Put(int16_t{1});
              }), 0);
    EXPECT_EQ(ClientsCount(b.calls), 2);
    // A session whose calls connection closes is gone too.
    c.calls.Close();
    for (int i = 0; i < 100 && ClientsCount(b.calls) != 1; ++i) usleep(10000);
    EXPECT_EQ(ClientsCount(b.calls), 1);
}

TEST_F(SessionsTest, TheEventsConnectionNeedsTheSessionsKey) {
    Start();
    TestSession s;
    ASSERT_EQ(s.Logon(Addr(), server_.CallPort()), 0);
    struct Case {
        const char* what;
        int32_t session;
        uint64_t key;
    } cases[] = {{"wrong key", s.number, s.key ^ 1}, {"unknown session", s.number + 100, s.key}, {"zeros", 0, 0}};
    for (const Case& c : cases) {
        WireClient e;
        ASSERT_TRUE(e.Connect(Addr(), server_.EventsPort()));
        EXPECT_EQ(e.Hello(wire::Channel::kEvents, c.session, c.key), QUENDRIL_NO_SESSION) << c.what;
        EXPECT_TRUE(e.WaitClosed(3000)) << c.what;
    }
    EXPECT_EQ(s.OpenEvents(Addr(), server_.EventsPort()), 0);
    WireClient second;  // one events connection per session
    ASSERT_TRUE(second.Connect(Addr(), server_.EventsPort()));
    EXPECT_EQ(second.Hello(wire::Channel::kEvents, s.number, s.key), QUENDRIL_NO_SESSION);
}

TEST_F(SessionsTest, SessionFunctionsAnswerForReal) {
    Start();
    TestSession a, b;
    ASSERT_EQ(a.Logon(Addr(), server_.CallPort(), 41), 0);
    ASSERT_EQ(b.Logon(Addr(), server_.CallPort(), 42), 0);
    ASSERT_EQ(a.OpenEvents(Addr(), server_.EventsPort()), 0);
    ASSERT_EQ(b.OpenEvents(Addr(), server_.EventsPort()), 0);

    auto status = a.calls.Call("ClientStatus");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->message.result, 0);
    EXPECT_EQ(status->message.Values().Remaining(), 2u);

    // GetLastAPIResult reports the call before it.
    EXPECT_EQ(CallResult(a.calls, "SetClientType", 1, [](wire::ValueWriter& w) { w.Put(int32_t{1}); }), 0);
    EXPECT_EQ(CallResult(a.calls, "Authorise"), QUENDRIL_NOT_SUPPORTED);
    auto last = a.calls.Call("GetLastAPIResult");
    ASSERT_TRUE(last);
    ASSERT_EQ(last->message.result, 0);
    auto v = last->message.Values();
    std::optional<std::u16string> log, sub;
    int32_t res = 0, subRes = -1;
    ASSERT_TRUE(v.GetText(log) && v.Get(res) && v.Get(subRes) && v.GetText(sub));
    EXPECT_EQ(log, std::u16string(u"Authorise"));
    EXPECT_EQ(res, QUENDRIL_NOT_SUPPORTED);
    EXPECT_EQ(subRes, 0);
    EXPECT_EQ(sub, std::u16string());

    // FireClientEvent reaches every other session whose mask takes kind 4 (bit 3). a's mask is
    // now 1 (SetClientType above), so b's event does not reach a; b's own event skips b.
    EXPECT_EQ(CallResult(b.calls, "FireClientEvent", 2, [](wire::ValueWriter& w) {
                  w.Put(int32_t{7});
                  w.PutText(std::u16string(u"hi"));
              }), 0);
    EXPECT_EQ(CallResult(a.calls, "SetClientType", 1, [](wire::ValueWriter& w) { w.Put(int32_t{1 << 3}); }), 0);
    EXPECT_EQ(CallResult(b.calls, "FireClientEvent", 2, [](wire::ValueWriter& w) {
                  w.Put(int32_t{8});
                  w.PutNull();
              }), 0);
    auto e = a.events.Receive(3000);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message.type, wire::MessageType::kEvent);
    EXPECT_EQ(e->message.kind, 4);
    auto f = e->message.Values();
    int32_t clientId = 0, eventId = 0;
    std::optional<std::u16string> text = u"x";
    ASSERT_TRUE(f.Get(clientId) && f.Get(eventId) && f.GetText(text));
    EXPECT_EQ(clientId, 42);
    EXPECT_EQ(eventId, 8);  // not the one fired while the mask said no
    EXPECT_FALSE(text.has_value());
    EXPECT_FALSE(b.events.Receive(200));
    // A client key with high bits set is not a mask: a keeps mask 8.
    EXPECT_EQ(CallResult(a.calls, "SetClientType", 1, [](wire::ValueWriter& w) { w.Put(int32_t(0x80000001)); }), 0);
    EXPECT_EQ(CallResult(b.calls, "FireClientEvent", 2, [](wire::ValueWriter& w) {
                  w.Put(int32_t{9});
                  w.PutNull();
              }), 0);
    EXPECT_TRUE(a.events.Receive(3000));
}

TEST_F(SessionsTest, SigtermEndsTheServerCleanlyWithSessionsOpen) {
    Start();
    TestSession a;
    ASSERT_EQ(a.Logon(Addr(), server_.CallPort()), 0);
    ASSERT_EQ(a.OpenEvents(Addr(), server_.EventsPort()), 0);
    WireClient idle;  // a connection that never said HELLO
    ASSERT_TRUE(idle.Connect(Addr(), server_.CallPort()));
    EXPECT_EQ(server_.Stop(), 0);
    EXPECT_TRUE(a.calls.WaitClosed(1000));
    EXPECT_TRUE(a.events.WaitClosed(1000));
    EXPECT_TRUE(idle.WaitClosed(1000));
    // Restart on the same ports.
    ASSERT_TRUE(server_.Restart());
    TestSession b;
    EXPECT_EQ(b.Logon(Addr(), server_.CallPort()), 0);
}

TEST(WyrlanCommandLine, BadArgumentsExitWithTwo) {
    for (const char* args : {"--bogus", "--call-port 0", "--call-port 70000", "--events-port x",
                             "--max-sessions 0", "--call-port 5000 --events-port 5000", "--db"}) {
        std::string cmd = std::string(WYRLAN_BINARY) + " " + args + " 2>/dev/null";
        int status = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << args;
        EXPECT_EQ(WEXITSTATUS(status), 2) << args;
    }
    int status = std::system((std::string(WYRLAN_BINARY) + " --help >/dev/null").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace wyrlan::test
