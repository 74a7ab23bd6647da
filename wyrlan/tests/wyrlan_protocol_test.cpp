// The calls connection against the real server: handshake, logon gate, function lookup,
// in-value checks, and protocol errors that must close one connection and no other.
#include <gtest/gtest.h>

#include "quendril/api/api_table.h"
#include "quendril/include/quendril.h"
#include "wyrlan/testing/server_process.h"
#include "wyrlan/tests/wire_client.h"

namespace wyrlan::test {
namespace {

using quendril::api::FunctionId;
using quendril::api::kApiDigest;

class ProtocolTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.Start("127.0.3.1")); }
    const std::string& Addr() const { return server_.Address(); }
    uint16_t CallPort() const { return server_.CallPort(); }

    ServerProcess server_;
};

TEST_F(ProtocolTest, WelcomeChecksVersionAndDigest) {
    WireClient old;
    ASSERT_TRUE(old.Connect(Addr(), CallPort()));
    EXPECT_EQ(old.Hello(wire::Channel::kCalls, 0, 0, wire::kProtocolVersion + 1), QUENDRIL_PROTOCOL_MISMATCH);
    EXPECT_TRUE(old.WaitClosed(3000));

    for (uint64_t digest : {kApiDigest, kApiDigest ^ 1}) {
        WireClient c;
        ASSERT_TRUE(c.Connect(Addr(), CallPort()));
        wire::Hello h;
        h.apiDigest = digest;
        ASSERT_TRUE(c.Send(wire::EncodeHello(h)));
        auto w = c.Receive();
        ASSERT_TRUE(w);
        EXPECT_EQ(w->message.welcome.result, 0);
        EXPECT_EQ(w->message.welcome.idsAccepted, digest == kApiDigest);
    }
}

TEST_F(ProtocolTest, EverythingButTheLogonsAnswersNoSessionBeforeLogon) {
    WireClient c;
    ASSERT_TRUE(c.Connect(Addr(), CallPort()));
    ASSERT_EQ(c.Hello(wire::Channel::kCalls, 0, 0, wire::kProtocolVersion, kApiDigest), 0);
    for (const char* name : {"ServerVersion", "ClientLogoff", "GetPumpsCount", "@InjectEvent"}) {
        auto a = c.Call(name);
        ASSERT_TRUE(a) << name;
        EXPECT_EQ(a->message.result, QUENDRIL_NO_SESSION) << name;
        EXPECT_EQ(a->message.Values().Remaining(), 0u);
    }
    auto byId = c.CallId(static_cast<uint16_t>(FunctionId::TestConnection));
    ASSERT_TRUE(byId);
    EXPECT_EQ(byId->message.result, QUENDRIL_NO_SESSION);
}

TEST_F(ProtocolTest, FunctionsAreFoundByNameAndByIdOnlyWhenTheDigestMatched) {
    TestSession s;  // HELLO with digest 0: ids are not accepted
    ASSERT_EQ(s.Logon(Addr(), CallPort()), 0);
    struct Case {
        const char* name;
        int32_t result;
    } cases[] = {
        {"ServerVersion", 0},
        {"NoSuchFunction", QUENDRIL_NOT_SUPPORTED},
        {"GetPumpsCount", 0},                       // the configuration store answers it
        {"Authorise", QUENDRIL_NOT_SUPPORTED},      // no handler until the forecourt model has one
        {"ProcessEvents", QUENDRIL_NOT_SUPPORTED},  // runs in the library, never on the wire
        {"@NoSuchControl", QUENDRIL_NOT_SUPPORTED},
    };
    for (const Case& c : cases) {
        auto a = s.calls.Call(c.name);
        ASSERT_TRUE(a) << c.name;
        EXPECT_EQ(a->message.result, c.result) << c.name;
        if (c.result != 0) {
            EXPECT_EQ(a->message.Values().Remaining(), 0u) << c.name;
        }
    }
    auto byId = s.calls.CallId(static_cast<uint16_t>(FunctionId::ServerVersion));
    ASSERT_TRUE(byId);
    EXPECT_EQ(byId->message.result, QUENDRIL_NOT_SUPPORTED);

    WireClient c;  // with the right digest, ids work; an id past the table does not
    ASSERT_TRUE(c.Connect(Addr(), CallPort()));
    ASSERT_EQ(c.Hello(wire::Channel::kCalls, 0, 0, wire::kProtocolVersion, kApiDigest), 0);
    auto logon = c.CallId(static_cast<uint16_t>(FunctionId::ClientLogon), 2, [](wire::ValueWriter& w) {
        w.Put(int32_t{5});
        w.Put(int16_t{1});
    });
    ASSERT_TRUE(logon);
    ASSERT_EQ(logon->message.result, 0);
    auto version = c.CallId(static_cast<uint16_t>(FunctionId::ServerVersion));
    ASSERT_TRUE(version);
    EXPECT_EQ(version->message.result, 0);
    std::optional<std::u16string> text;
    auto v = version->message.Values();
    ASSERT_TRUE(v.GetText(text));
    EXPECT_EQ(text, std::u16string(u"Wyrlan controller server 2.6.0"));
    auto past = c.CallId(static_cast<uint16_t>(quendril::api::kFunctionCount));
    ASSERT_TRUE(past);
    EXPECT_EQ(past->message.result, QUENDRIL_NOT_SUPPORTED);
}

TEST_F(ProtocolTest, InValuesOfTheWrongNumberOrTypeAnswerBadArgument) {
    TestSession s;
    ASSERT_EQ(s.Logon(Addr(), CallPort()), 0);
    struct Case {
        const char* what;
        const char* name;
        uint32_t count;
        std::function<void(wire::ValueWriter&)> fill;
    } cases[] = {
        {"too few", "SetClientType", 0, nullptr},
        {"too many", "ServerVersion", 1, [](wire::ValueWriter& w) { w.Put(int32_t{1}); }},
        {"text for i32", "SetClientType", 1, [](wire::ValueWriter& w) { w.PutText(std::u16string(u"x")); }},
        {"i32 for text", "FireClientEvent", 2, [](wire::ValueWriter& w) { w.Put(int32_t{1}); w.Put(int32_t{2}); }},
        {"i32 over range", "SetClientType", 1, [](wire::ValueWriter& w) { w.Put(int64_t{1} << 40); }},
        {"float for i32", "SetClientType", 1, [](wire::ValueWriter& w) { w.Put(1.5); }},
    };
    for (const Case& c : cases) {
        auto a = s.calls.Call(c.name, c.count, c.fill);
        ASSERT_TRUE(a) << c.what;
        EXPECT_EQ(a->message.result, QUENDRIL_BAD_ARGUMENT) << c.what;
    }
    // i16 out of range on a logon, before any session exists.
    WireClient c;
    ASSERT_TRUE(c.Connect(Addr(), CallPort()));
    ASSERT_EQ(c.Hello(wire::Channel::kCalls), 0);
    auto a = c.Call("ClientLogon", 2, [](wire::ValueWriter& w) {
        w.Put(int32_t{1});
        w.Put(int32_t{40000});
    });
    ASSERT_TRUE(a);
    EXPECT_EQ(a->message.result, QUENDRIL_BAD_ARGUMENT);
    // The session survived every refusal.
    auto ok = s.calls.Call("TestConnection");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->message.result, 0);
}

TEST_F(ProtocolTest, ABadFrameClosesOnlyItsOwnConnection) {
    TestSession bystander;
    ASSERT_EQ(bystander.Logon(Addr(), CallPort(), 77), 0);
    ASSERT_EQ(bystander.OpenEvents(Addr(), server_.EventsPort()), 0);

    struct Case {
        const char* what;
        bool logOn;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"zero length", true, {0, 0, 0, 0}},
        {"length over 1 MiB", true, {0, 0x10, 0, 1}},
        {"huge length", false, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"not msgpack", true, {0, 0, 0, 2, 0xC1, 0xC1}},
        {"not an array", true, {0, 0, 0, 1, 0x05}},
        {"unknown type", true, {0, 0, 0, 3, 0x92, 0x09, 0x00}},
        {"WELCOME from a client", true, {0, 0, 0, 5, 0x94, 0x02, 0x01, 0x00, 0xC2}},
        {"CALL before HELLO", false, {0, 0, 0, 5, 0x94, 0x03, 0x01, 0x0A, 0x90}},
    };
    for (const Case& c : cases) {
        TestSession victim;
        if (c.logOn) {
            ASSERT_EQ(victim.Logon(Addr(), CallPort(), 9), 0) << c.what;
            ASSERT_EQ(victim.OpenEvents(Addr(), server_.EventsPort()), 0) << c.what;
        } else {
            ASSERT_TRUE(victim.calls.Connect(Addr(), CallPort()));
        }
        ASSERT_TRUE(victim.calls.Send(c.bytes)) << c.what;
        int32_t reason = 0;
        EXPECT_TRUE(victim.calls.WaitClosed(3000, &reason)) << c.what;
        EXPECT_EQ(reason, QUENDRIL_BAD_MESSAGE) << c.what;
        if (c.logOn) {
            EXPECT_TRUE(victim.events.WaitClosed(3000)) << c.what;  // the session ended
        }

        auto a = bystander.calls.Call("GetClientsCount");
        ASSERT_TRUE(a) << c.what;
        EXPECT_EQ(a->message.result, 0);
        int32_t count = 0;
        auto v = a->message.Values();
        ASSERT_TRUE(v.Get(count));
        EXPECT_EQ(count, 1) << c.what;
    }
}

TEST_F(ProtocolTest, AFrameSplitIntoSingleBytesIsOneCall) {
    TestSession s;
    ASSERT_EQ(s.Logon(Addr(), CallPort()), 0);
    const std::vector<uint8_t> frame = {0, 0, 0, 0x13, 0x94, 0x03, 0x07, 0xAE, 'T', 'e', 's', 't', 'C',
                                        'o', 'n', 'n', 'e', 'c', 't', 'i', 'o', 'n', 0x90};
    ASSERT_EQ(frame.size(), 4u + 0x13);
    for (uint8_t b : frame) ASSERT_TRUE(s.calls.Send({b}));
    auto a = s.calls.Receive();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->message.type, wire::MessageType::kAnswer);
    EXPECT_EQ(a->message.seq, 7u);
    EXPECT_EQ(a->message.result, 0);
}

}  // namespace
}  // namespace wyrlan::test
