// Sessions of the client library against a live wyrlan: logons and their failures, results
// without a session, sessions side by side, the window channel, a lost server, time-outs.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <vector>

#include "quendril/tests/client_fixture.h"

namespace quendril_test {
namespace {

// A pipe standing in for the component's window: the library writes notification records.
class WindowPipe {
public:
    WindowPipe() {
        int fds[2];
        EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
        read_ = fds[0];
        write_ = fds[1];
    }
    ~WindowPipe() {
        close(read_);
        close(write_);
    }
    int64_t Window() const { return write_; }
    // The next record within `ms`; false when none came.
    bool Next(QuendrilNotification& n, int ms = 3000) {
        pollfd p{read_, POLLIN, 0};
        if (poll(&p, 1, ms) != 1) return false;
        return read(read_, &n, sizeof n) == static_cast<ssize_t>(sizeof n);
    }

private:
    int read_ = -1;
    int write_ = -1;
};

using SessionTest = ServerTest;

TEST_F(SessionTest, InternalLogonCallsAndLogoff) {
    int32_t h = -5;
    ASSERT_EQ(LogonInternal(&h), 0);
    EXPECT_GT(h, 0);

    Text version;
    EXPECT_EQ(ServerVersionMT(h, version.out()), 0);
    EXPECT_EQ(version.ascii(), "Wyrlan controller server 2.6.0");
    EXPECT_EQ(TestConnectionMT(h), 0);
    int32_t clients = -1;
    EXPECT_EQ(GetClientsCountMT(h, &clients), 0);
    EXPECT_EQ(clients, 1);
    // A function the server does not implement yet answers -101 and leaves the variable alone.
    int32_t pumps = 1234;
    int32_t res = GetPumpsCountMT(h, &pumps);
    if (res != 0) {
        EXPECT_EQ(pumps, 1234);
    }

    int32_t copy = h;
    EXPECT_EQ(ClientLogoffMT(&h), 0);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(GetClientsCountMT(copy, &clients), QUENDRIL_NO_SESSION);
    EXPECT_EQ(ClientLogoffMT(&copy), QUENDRIL_NO_SESSION);
    EXPECT_EQ(ProcessEventsMT(copy), QUENDRIL_NO_SESSION);
}

TEST_F(SessionTest, HandlesAreNeverReused) {
    int32_t a = 0, b = 0;
    ASSERT_EQ(LogonInternal(&a), 0);
    int32_t first = a;
    ASSERT_EQ(ClientLogoffMT(&a), 0);
    ASSERT_EQ(LogonInternal(&b), 0);
    EXPECT_NE(b, first);
    EXPECT_EQ(GetClientsCountMT(first, nullptr), QUENDRIL_NO_SESSION);
    ClientLogoffMT(&b);
}

TEST_F(SessionTest, LogonFailuresLeaveNoSession) {
    int32_t h = 99;
    EXPECT_EQ(LogonInternal(&h, kAllKinds, "not-the-key"), QUENDRIL_WRONG_HASH_KEY);
    EXPECT_EQ(h, 0);

    // Nobody listens any more on the ports of a stopped server.
    Text host(server_.Address().c_str());
    h = 99;
    server_.Stop();
    EXPECT_EQ(ClientLogonExMT(&h, 1, 1, host.get(), server_.CallPort(), server_.EventsPort(), 2000, -1, 0, 1024),
              QUENDRIL_CANNOT_CONNECT);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(ClientLogonEx(1, 1, host.get(), server_.CallPort(), server_.EventsPort(), 2000, -1, 0, 1024),
              QUENDRIL_CANNOT_CONNECT);
    EXPECT_EQ(GetClientsCount(nullptr), QUENDRIL_NO_SESSION);
}

TEST_F(SessionTest, PlainFunctionsUseTheDefaultSession) {
    int32_t count = 0;
    EXPECT_EQ(GetClientsCount(&count), QUENDRIL_NO_SESSION);
    EXPECT_EQ(ProcessEvents(), QUENDRIL_NO_SESSION);
    EXPECT_EQ(ClientLogoff(), QUENDRIL_NO_SESSION);

    Text host(server_.Address().c_str());
    ASSERT_EQ(ClientLogonEx(3, 1, host.get(), server_.CallPort(), server_.EventsPort(), 5000, -1, 0, 1024), 0);
    EXPECT_EQ(GetClientsCount(&count), 0);
    EXPECT_EQ(count, 1);
    // Plain and Ex logons are no internal clients: the control interface is refused.
    EXPECT_EQ(QuendrilInjectEvent(-1, 3, nullptr, 0), QUENDRIL_NOT_ALLOWED);
    // A second plain logon replaces the default session.
    ASSERT_EQ(ClientLogonEx(3, 1, host.get(), server_.CallPort(), server_.EventsPort(), 5000, -1, 0, 1024), 0);
    EXPECT_EQ(GetClientsCount(&count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(ClientLogoff(), 0);
    EXPECT_EQ(GetClientsCount(&count), QUENDRIL_NO_SESSION);
}

TEST_F(SessionTest, PlainInternalLogonAndControlTwins) {
    Text name("plain"), key(QUENDRIL_DEFAULT_HASH_KEY), wrong("wrong"), host(server_.Address().c_str());
    EXPECT_EQ(InternalClientLogon(7, 1, name.get(), 1, wrong.get(), kAllKinds, host.get(), server_.CallPort(),
                                  server_.EventsPort(), 3000, -1, 0, 1024),
              QUENDRIL_WRONG_HASH_KEY);
    EXPECT_EQ(TestConnection(), QUENDRIL_NO_SESSION);
    ASSERT_EQ(InternalClientLogon(7, 1, name.get(), 1, key.get(), kAllKinds, host.get(), server_.CallPort(),
                                  server_.EventsPort(), 3000, -1, 0, 1024),
              0);
    int32_t serverNo = 0;
    EXPECT_EQ(QuendrilServerSession(&serverNo), 0);
    EXPECT_GT(serverNo, 0);
    QuendrilValue values[2] = {{QUENDRIL_VALUE_I32, 0, -42, 0, nullptr}, {QUENDRIL_VALUE_TEXT, 0, 0, 0, key.get()}};
    ASSERT_EQ(QuendrilInjectEvent(serverNo, 3, values, 2), 0);
    int16_t kind = 0;
    for (int i = 0; i < 3000 && kind == 0; ++i) {
        ASSERT_EQ(ProcessEvents(), 0);
        ASSERT_EQ(GetNextEventType(&kind), 0);
        if (kind == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(kind, 3);
    int32_t id = 0;
    Text text;
    EXPECT_EQ(GetNextServerEvent(&id, text.out()), 0);
    EXPECT_EQ(id, -42);
    EXPECT_EQ(text.ascii(), QUENDRIL_DEFAULT_HASH_KEY);
    EXPECT_EQ(QuendrilHoldAnswers(-1, 0), 0);
    EXPECT_EQ(QuendrilDropSession(serverNo), 0);
    // Our own connections were dropped: the loss shows until logoff.
    int32_t res = 0;
    for (int i = 0; i < 300 && (res = TestConnection()) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(res, QUENDRIL_CONNECTION_CLOSED);
    EXPECT_EQ(ClientLogoff(), 0);
    EXPECT_EQ(QuendrilServerSession(&serverNo), QUENDRIL_NO_SESSION);
}

TEST(NullServerName, MeansLocalHost) {
    wyrlan::ServerProcess local;
    ASSERT_TRUE(local.Start("127.0.0.1"));
    int32_t h = 0;
    ASSERT_EQ(ClientLogonExMT(&h, 1, 1, nullptr, local.CallPort(), local.EventsPort(), 3000, -1, 0, 1024), 0);
    EXPECT_EQ(TestConnectionMT(h), 0);
    EXPECT_EQ(ClientLogoffMT(&h), 0);
    Text empty(u"");
    ASSERT_EQ(ClientLogonExMT(&h, 1, 1, empty.get(), local.CallPort(), local.EventsPort(), 3000, -1, 0, 1024), 0);
    EXPECT_EQ(ClientLogoffMT(&h), 0);
}

TEST_F(SessionTest, SessionsSideBySideOnThreads) {
    constexpr int kThreads = 4;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            int32_t h = 0;
            if (LogonInternal(&h) != 0) {
                ++failures;
                return;
            }
            for (int i = 0; i < 200; ++i) {
                Text v;
                if (ServerVersionMT(h, v.out()) != 0 || v.ascii() != "Wyrlan controller server 2.6.0") ++failures;
            }
            // An event to its own session comes back to this session only.
            Text marker(("thread " + std::to_string(t)).c_str());
            QuendrilValue values[2] = {{QUENDRIL_VALUE_I32, 0, 1000 + t, 0, nullptr},
                                       {QUENDRIL_VALUE_TEXT, 0, 0, 0, marker.get()}};
            if (QuendrilInjectEventMT(h, -1, 3, values, 2) != 0) ++failures;
            if (WaitEvent(h) != 3) ++failures;
            int32_t id = 0;
            Text text;
            if (GetNextServerEventMT(h, &id, text.out()) != 0 || id != 1000 + t || text.str() != marker.str())
                ++failures;
            int16_t kind = -1;
            GetNextEventTypeMT(h, &kind);
            if (kind != 0) ++failures;
            if (ClientLogoffMT(&h) != 0) ++failures;
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(SessionTest, WindowChannelAndLostServer) {
    WindowPipe window;
    int32_t h = 0;
    ASSERT_EQ(LogonInternal(&h, kAllKinds, QUENDRIL_DEFAULT_HASH_KEY, window.Window()), 0);

    QuendrilValue values[2] = {{QUENDRIL_VALUE_I32, 0, 5, 0, nullptr}, {QUENDRIL_VALUE_TEXT, 0, 0, 0, nullptr}};
    ASSERT_EQ(QuendrilInjectEventMT(h, -1, 3, values, 2), 0);
    QuendrilNotification n{};
    ASSERT_TRUE(window.Next(n));
    EXPECT_EQ(n.MessageNo, 1024);
    EXPECT_EQ(n.Reserved, 0);
    EXPECT_EQ(n.LParam, QUENDRIL_NOTIFY_EVENTS);
    EXPECT_EQ(CheckSocketClosed(n.LParam), 0);
    EXPECT_EQ(WaitEvent(h), 3);

    ASSERT_TRUE(server_.Kill());
    ASSERT_TRUE(window.Next(n));
    EXPECT_EQ(n.LParam, QUENDRIL_NOTIFY_CLOSED);
    EXPECT_EQ(CheckSocketClosed(n.LParam), QUENDRIL_CONNECTION_CLOSED);
    EXPECT_FALSE(window.Next(n, 200)) << "one closed record only";

    // The event received before the loss is still readable; then the loss shows, until logoff.
    int32_t id = 0;
    Text text;
    EXPECT_EQ(ProcessEventsMT(h), 0);
    EXPECT_EQ(GetNextServerEventMT(h, &id, text.out()), 0);
    EXPECT_EQ(id, 5);
    EXPECT_EQ(text.get(), nullptr);
    EXPECT_EQ(ProcessEventsMT(h), QUENDRIL_CONNECTION_CLOSED);
    int32_t count = 0;
    EXPECT_EQ(GetClientsCountMT(h, &count), QUENDRIL_CONNECTION_CLOSED);
    EXPECT_EQ(TestConnectionMT(h), QUENDRIL_CONNECTION_CLOSED);
    EXPECT_EQ(ClientLogoffMT(&h), 0);
    EXPECT_EQ(TestConnectionMT(h), QUENDRIL_NO_SESSION);
}

TEST_F(SessionTest, DroppedSessionSeesClosedConnection) {
    WindowPipe window;
    int32_t control = 0, victim = 0, serverNo = 0;
    ASSERT_EQ(LogonInternal(&control), 0);
    ASSERT_EQ(LogonInternal(&victim, kAllKinds, QUENDRIL_DEFAULT_HASH_KEY, window.Window()), 0);
    ASSERT_EQ(QuendrilServerSessionMT(victim, &serverNo), 0);
    EXPECT_GT(serverNo, 0);
    ASSERT_EQ(QuendrilDropSessionMT(control, serverNo), 0);
    QuendrilNotification n{};
    ASSERT_TRUE(window.Next(n));
    EXPECT_EQ(CheckSocketClosed(n.LParam), QUENDRIL_CONNECTION_CLOSED);
    EXPECT_EQ(TestConnectionMT(victim), QUENDRIL_CONNECTION_CLOSED);
    EXPECT_EQ(TestConnectionMT(control), 0);
    ClientLogoffMT(&victim);
    ClientLogoffMT(&control);
}

TEST_F(SessionTest, HeldAnswerTimesOutAndTheSessionRecovers) {
    int32_t h = 0;
    ASSERT_EQ(LogonInternal(&h, kAllKinds, QUENDRIL_DEFAULT_HASH_KEY, 0, 250), 0);
    ASSERT_EQ(QuendrilHoldAnswersMT(h, -1, 700), 0);
    auto start = std::chrono::steady_clock::now();
    int32_t count = 77;
    EXPECT_EQ(GetClientsCountMT(h, &count), QUENDRIL_TIMEOUT);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(650));
    EXPECT_EQ(count, 77);
    // After the hold the late answer is dropped and the next call gets its own.
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    Text version;
    EXPECT_EQ(ServerVersionMT(h, version.out()), 0);
    EXPECT_EQ(version.ascii(), "Wyrlan controller server 2.6.0");
    EXPECT_EQ(ClientLogoffMT(&h), 0);
}

TEST_F(SessionTest, ThousandsOfCallsWithText) {
    int32_t h = 0, other = 0;
    ASSERT_EQ(LogonInternal(&h), 0);
    ASSERT_EQ(LogonInternal(&other), 0);
    Text version, log, sub;  // reused: each call frees the text the variable held
    Text message(u"a text with \u00e9 and \xd800 unpaired");
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(ServerVersionMT(h, version.out()), 0);
        int32_t res = 1, subRes = 1;
        ASSERT_EQ(GetLastAPIResultMT(h, log.out(), &res, &subRes, sub.out()), 0);
        if (i % 10 == 0) {
            ASSERT_EQ(FireClientEventMT(h, i, message.get()), 0);
        }
    }
    EXPECT_EQ(log.ascii(), "ServerVersion");
    // The other session got every FireClientEvent with the text intact.
    int got = 0;
    while (WaitEvent(other, got < 300 ? 3000 : 100) == 4) {
        int32_t client = 0, id = 0;
        Text text;
        ASSERT_EQ(GetNextClientEventMT(other, &client, &id, text.out()), 0);
        EXPECT_EQ(id, got * 10);
        EXPECT_EQ(text.str(), message.str());
        ++got;
    }
    EXPECT_EQ(got, 300);
    ClientLogoffMT(&h);
    ClientLogoffMT(&other);
}

TEST_F(SessionTest, ExitWithSessionsOpenDoesNotHang) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int32_t a = 0;
        Text host(server_.Address().c_str());
        if (ClientLogonEx(1, 1, host.get(), server_.CallPort(), server_.EventsPort(), 3000, -1, 0, 1024) != 0) _exit(3);
        if (LogonInternal(&a) != 0) _exit(4);
        std::exit(0);  // static destruction runs with both sessions and their threads alive
    }
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 500 && done == 0; ++i) {
        done = waitpid(child, &status, WNOHANG);
        if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (done == 0) kill(child, SIGKILL), waitpid(child, &status, 0);
    ASSERT_NE(done, 0) << "the process hung at exit";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ResultTexts, EveryCodeHasItsTextAndOthersAreUnknown) {
#define CHECK_TEXT(name, number, text)                         \
    {                                                          \
        BSTR b = ResultString(number);                         \
        EXPECT_EQ(std::u16string(b, SysStringLen(b)),          \
                  std::u16string(text, text + sizeof(text) - 1)); \
        SysFreeString(b);                                      \
    }
    QUENDRIL_RESULT_CODES(CHECK_TEXT)
#undef CHECK_TEXT
    auto ascii = [](BSTR b) {
        std::string s(b, b + SysStringLen(b));
        SysFreeString(b);
        return s;
    };
    EXPECT_EQ(ascii(ResultString(12345)), "Unknown result code 12345");
    EXPECT_EQ(ascii(ResultString(-1)), "Unknown result code -1");
    EXPECT_EQ(ascii(PumpStateString(6)), "Calling");
    EXPECT_EQ(ascii(PumpStateString(-1)), "Unknown");
    EXPECT_EQ(ascii(DeliveryStateString(2)), "Stacked");
    EXPECT_EQ(ascii(DeliveryTypeString(3)), "Refund");
    EXPECT_EQ(ascii(ReserveTypeString(3)), "Prepay");
    EXPECT_EQ(ascii(ReserveTypeString(10)), "Unknown");
    Text version;
    EXPECT_EQ(DllVersion(version.out()), 0);
    EXPECT_EQ(version.ascii(), "Quendril client library 2.6.0");
    EXPECT_EQ(WasReconnected(), 0);
    EXPECT_EQ(CheckSocketClosed(0), 0);
}

}  // namespace
}  // namespace quendril_test
