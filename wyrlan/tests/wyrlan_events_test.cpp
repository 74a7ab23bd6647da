// Events and the control interface against the real server: injection with exact values and
// its checks, event masks, the backlog bound, dropped sessions and held answers.
#include <gtest/gtest.h>

#include <chrono>

#include "quendril/api/api_table.h"
#include "quendril/include/quendril.h"
#include "wyrlan/testing/server_process.h"
#include "wyrlan/tests/wire_client.h"

namespace wyrlan::test {
namespace {

using Clock = std::chrono::steady_clock;

int32_t Control(WireClient& c, const char* name, uint32_t n, const std::function<void(wire::ValueWriter&)>& fill,
                int timeoutMs = 5000) {
    auto a = c.Call(name, n, fill, timeoutMs);
    return a ? a->message.result : -9999;
}

// ClientEvent (kind 4): ClientID i32, EventID i32, EventText text.
int32_t InjectClientEvent(WireClient& c, int32_t target, int32_t eventId, const std::u16string& text) {
    return Control(c, "@InjectEvent", 5, [&](wire::ValueWriter& w) {
        w.Put(target);
        w.Put(int16_t{4});
        w.Put(int32_t{1});
        w.Put(eventId);
        w.PutText(text);
    });
}

class EventsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.Start("127.0.3.3")); }
    void Internal(TestSession& s, int32_t mask = -1) {
        ASSERT_EQ(s.LogonInternal(server_.Address(), server_.CallPort(), kHashKey, mask), 0);
        ASSERT_EQ(s.OpenEvents(server_.Address(), server_.EventsPort()), 0);
    }
    ServerProcess server_;
};

TEST_F(EventsTest, InjectedEventsArriveWithExactValues) {
    TestSession s;
    Internal(s);
    // Kind 2's record (DeliveryEventEx3) mixes i16, i32, i64, f64, text and date fields; each
    // gets a value at the edge of its type.
    const int16_t kind = 2;
    const auto* rec = quendril::api::RecordOfKind(kind);
    ASSERT_NE(rec, nullptr);
    const auto fields = quendril::api::FieldsOf(*rec);
    using quendril::api::Type;
    auto fill = [&](wire::ValueWriter& w) {
        w.Put(int32_t{-1});
        w.Put(kind);
        int i = 0;
        for (const auto& f : fields) {
            switch (f.type) {
                case Type::kI16: w.Put(int16_t(i % 2 ? -32768 : 32767)); break;
                case Type::kU16: w.Put(uint16_t{65535}); break;
                case Type::kI32: w.Put(int32_t(i % 2 ? INT32_MIN : INT32_MAX)); break;
                case Type::kI64: w.Put(int64_t(i % 2 ? INT64_MIN : INT64_MAX)); break;
                case Type::kF64: w.Put(i % 2 ? -0.0 : 1e300); break;
                case Type::kDate: w.Put(45000.75); break;
                case Type::kText:
                    if (i % 2) w.PutNull(); else w.PutText(std::u16string(u"\xD800z"));  // unpaired surrogate
                    break;
            }
            ++i;
        }
    };
    ASSERT_EQ(Control(s.calls, "@InjectEvent", 2 + static_cast<uint32_t>(fields.size()), fill), 0);
    auto e = s.events.Receive();
    ASSERT_TRUE(e);
    ASSERT_EQ(e->message.type, wire::MessageType::kEvent);
    EXPECT_EQ(e->message.kind, kind);
    auto v = e->message.Values();
    ASSERT_EQ(v.Remaining(), fields.size());
    int i = 0;
    for (const auto& f : fields) {
        SCOPED_TRACE(f.name);
        switch (f.type) {
            case Type::kI16: { int16_t x = 0; ASSERT_TRUE(v.Get(x)); EXPECT_EQ(x, i % 2 ? -32768 : 32767); break; }
            case Type::kU16: { uint16_t x = 0; ASSERT_TRUE(v.Get(x)); EXPECT_EQ(x, 65535); break; }
            case Type::kI32: { int32_t x = 0; ASSERT_TRUE(v.Get(x)); EXPECT_EQ(x, i % 2 ? INT32_MIN : INT32_MAX); break; }
            case Type::kI64: { int64_t x = 0; ASSERT_TRUE(v.Get(x)); EXPECT_EQ(x, i % 2 ? INT64_MIN : INT64_MAX); break; }
            case Type::kF64: {
                double x = 0;
                ASSERT_TRUE(v.Get(x));
                if (i % 2) EXPECT_TRUE(x == 0 && std::signbit(x)); else EXPECT_EQ(x, 1e300);
                break;
            }
            case Type::kDate: { double x = 0; ASSERT_TRUE(v.Get(x)); EXPECT_EQ(x, 45000.75); break; }
            case Type::kText: {
                std::optional<std::u16string> t;
                ASSERT_TRUE(v.GetText(t));
                if (i % 2) EXPECT_FALSE(t); else EXPECT_EQ(t, std::u16string(u"\xD800z"));
                break;
            }
        }
        ++i;
    }
    // A kind without a record carries no values.
    ASSERT_EQ(Control(s.calls, "@InjectEvent", 2, [](wire::ValueWriter& w) {
                  w.Put(int32_t{-1});
                  w.Put(int16_t{15});
              }), 0);
    auto bare = s.events.Receive();
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->message.kind, 15);
    EXPECT_EQ(bare->message.Values().Remaining(), 0u);
}

TEST_F(EventsTest, InjectionIsCheckedAndOnlyForInternalClients) {
    TestSession s, plain;
    Internal(s);
    ASSERT_EQ(plain.Logon(server_.Address(), server_.CallPort()), 0);
    EXPECT_EQ(InjectClientEvent(plain.calls, 0, 1, u"x"), QUENDRIL_NOT_ALLOWED);
    EXPECT_EQ(Control(plain.calls, "@DropSession", 1, [&](wire::ValueWriter& w) { w.Put(s.number); }),
              QUENDRIL_NOT_ALLOWED);

    struct Case {
        const char* what;
        uint32_t n;
        std::function<void(wire::ValueWriter&)> fill;
        int32_t result;
    } cases[] = {
        {"no kind", 1, [](wire::ValueWriter& w) { w.Put(int32_t{-1}); }, QUENDRIL_BAD_ARGUMENT},
        {"kind 0", 2, [](wire::ValueWriter& w) { w.Put(int32_t{-1}); w.Put(int16_t{0}); }, QUENDRIL_BAD_ARGUMENT},
        {"too few fields", 4, [](wire::ValueWriter& w) {
             w.Put(int32_t{-1}); w.Put(int16_t{4}); w.Put(int32_t{1}); w.Put(int32_t{2}); }, QUENDRIL_BAD_ARGUMENT},
        {"too many fields", 6, [](wire::ValueWriter& w) {
             w.Put(int32_t{-1}); w.Put(int16_t{4}); w.Put(int32_t{1}); w.Put(int32_t{2}); w.PutNull(); w.PutNull(); },
         QUENDRIL_BAD_ARGUMENT},
        {"text for i32", 5, [](wire::ValueWriter& w) {
             w.Put(int32_t{-1}); w.Put(int16_t{4}); w.PutNull(); w.Put(int32_t{2}); w.PutNull(); }, QUENDRIL_BAD_ARGUMENT},
        {"values for a kind without record", 3, [](wire::ValueWriter& w) {
             w.Put(int32_t{-1}); w.Put(int16_t{14}); w.Put(int32_t{1}); }, QUENDRIL_BAD_ARGUMENT},
        {"unknown target", 5, [](wire::ValueWriter& w) {
             w.Put(int32_t{9999}); w.Put(int16_t{4}); w.Put(int32_t{1}); w.Put(int32_t{2}); w.PutNull(); },
         QUENDRIL_NOT_FOUND},
    };
    for (const Case& c : cases) EXPECT_EQ(Control(s.calls, "@InjectEvent", c.n, c.fill), c.result) << c.what;
    EXPECT_FALSE(s.events.Receive(200));  // nothing was sent
}

TEST_F(EventsTest, EventMasksFilterInjectedEvents) {
    TestSession all, kind4, none, plain;
    Internal(all);
    Internal(kind4, 1 << 3);
    Internal(none, 1 << 0);
    ASSERT_EQ(plain.Logon(server_.Address(), server_.CallPort()), 0);  // default mask 0xC47: bit 3 is off
    ASSERT_EQ(plain.OpenEvents(server_.Address(), server_.EventsPort()), 0);

    ASSERT_EQ(InjectClientEvent(all.calls, 0, 1, u"a"), 0);
    ASSERT_EQ(Control(all.calls, "@InjectEvent", 2, [](wire::ValueWriter& w) {
                  w.Put(int32_t{0});
                  w.Put(int16_t{30});  // kinds above 27 pass every mask
              }), 0);
    for (TestSession* s : {&all, &kind4}) {
        auto e = s->events.Receive();
        ASSERT_TRUE(e);
        EXPECT_EQ(e->message.kind, 4);
    }
    for (TestSession* s : {&all, &kind4, &none, &plain}) {
        auto e = s->events.Receive();
        ASSERT_TRUE(e);
        EXPECT_EQ(e->message.kind, 30);
    }
}

TEST_F(EventsTest, ASessionThatDoesNotReadIsDisconnectedAndOthersKeepTheirEvents) {
    TestSession lazy, reader, injector;
    Internal(lazy);
    Internal(reader);
    Internal(injector);
    // Half-megabyte events for the lazy session only, until it is over its backlog.
    const std::u16string big(256 * 1024, u'e');
    int32_t result = 0;
    int sent = 0;
    auto start = Clock::now();
    while (sent < 400 && (result = InjectClientEvent(injector.calls, lazy.number, sent, big)) == 0) ++sent;
    EXPECT_EQ(result, QUENDRIL_NOT_FOUND);  // the lazy session is gone
    EXPECT_GT(sent, 16);                    // at least its 8 MiB backlog was taken
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    int32_t reason = 0;
    EXPECT_TRUE(lazy.calls.WaitClosed(3000, &reason));
    EXPECT_EQ(reason, QUENDRIL_EVENT_BACKLOG);
    EXPECT_TRUE(lazy.events.WaitClosed(5000));  // its unread bytes are dropped

    ASSERT_EQ(InjectClientEvent(injector.calls, 0, 77, u"still here"), 0);
    auto e = reader.events.Receive();
    ASSERT_TRUE(e);
    auto v = e->message.Values();
    int32_t clientId = 0, eventId = 0;
    ASSERT_TRUE(v.Get(clientId) && v.Get(eventId));
    EXPECT_EQ(eventId, 77);
}

TEST_F(EventsTest, DropSessionClosesTheTargetsConnections) {
    TestSession victim, control;
    Internal(victim);
    Internal(control);
    EXPECT_EQ(Control(control.calls, "@DropSession", 1, [&](wire::ValueWriter& w) { w.Put(victim.number); }), 0);
    EXPECT_TRUE(victim.calls.WaitClosed(3000));
    EXPECT_TRUE(victim.events.WaitClosed(3000));
    // Dropping oneself: answered first, then closed.
    EXPECT_EQ(Control(control.calls, "@DropSession", 1, [](wire::ValueWriter& w) { w.Put(int32_t{-1}); }), 0);
    EXPECT_TRUE(control.calls.WaitClosed(3000));
}

TEST_F(EventsTest, HeldAnswersComeLateAndInOrder) {
    TestSession held, control;
    Internal(held);
    Internal(control);
    ASSERT_EQ(Control(control.calls, "@HoldAnswers", 2, [&](wire::ValueWriter& w) {
                  w.Put(held.number);
                  w.Put(int32_t{300});
              }), 0);
    // Two calls sent back to back: both answers wait, the first still comes first.
    auto start = Clock::now();
    wire::FrameWriter fw;
    std::vector<uint8_t> a, b;
    fw.BeginCallByName(100, "TestConnection", 0);
    ASSERT_TRUE(fw.Finish(a));
    fw.BeginCallByName(101, "ServerVersion", 0);
    ASSERT_TRUE(fw.Finish(b));
    ASSERT_TRUE(held.calls.Send(a));
    ASSERT_TRUE(held.calls.Send(b));
    // The controlling session is not held.
    auto quick = control.calls.Call("TestConnection");
    ASSERT_TRUE(quick);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(250));
    auto first = held.calls.Receive(2000);
    auto second = held.calls.Receive(2000);
    ASSERT_TRUE(first && second);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(first->message.seq, 100u);
    EXPECT_EQ(second->message.seq, 101u);
    // Calls after the hold ran out are answered at once.
    start = Clock::now();
    ASSERT_TRUE(held.calls.Call("TestConnection"));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(Control(control.calls, "@HoldAnswers", 2, [](wire::ValueWriter& w) {
                  w.Put(int32_t{-1});
                  w.Put(int32_t{-5});
              }), QUENDRIL_BAD_ARGUMENT);
}

}  // namespace
}  // namespace wyrlan::test
