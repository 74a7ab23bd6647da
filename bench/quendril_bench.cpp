// The client library against a live wyrlan, beside a raw TCP ping-pong between two processes:
//   RawPingPong       median / p99 of a 9-byte request and 10-byte answer over loopback TCP
//   GetPumpsCount     median / p99 of the same-sized call through libQuendril
//   EightSessions     aggregate calls/s and p99 with 8 sessions on their own threads
//   Events100k        100,000 injected pump events delivered and read with their reader
// Run: build/bench/quendril_bench (the counters median_us, p99_us, calls_per_s, events_per_s).
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "quendril/api/api_table.h"
#include "quendril/include/quendril.h"
#include "quendril/include/quendril_control.h"
#include "wyrlan/testing/server_process.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

void Percentiles(benchmark::State& state, std::vector<double>& us) {
    if (us.empty()) return;
    std::sort(us.begin(), us.end());
    state.counters["median_us"] = us[us.size() / 2];
    state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
}

// One wyrlan for the whole run, stopped when the program exits (its destructor).
wyrlan::ServerProcess& Server() {
    static wyrlan::ServerProcess server;
    static const bool started = server.Start("127.0.0.1", {"--quiet"});
    if (!started) std::abort();
    return server;
}

int32_t Logon() {
    const std::u16string name = u"bench", key = u"" QUENDRIL_DEFAULT_HASH_KEY, host = u"127.0.0.1";
    BSTR n = SysAllocStringLen(name.data(), static_cast<uint32_t>(name.size()));
    BSTR k = SysAllocStringLen(key.data(), static_cast<uint32_t>(key.size()));
    BSTR h = SysAllocStringLen(host.data(), static_cast<uint32_t>(host.size()));
    int32_t handle = 0;
    int32_t res = InternalClientLogonMT(&handle, 1, 1, n, 1, k, 0x7FFFFFF, h, Server().CallPort(),
                                        Server().EventsPort(), 10000, -1, 0, 1024);
    SysFreeString(n);
    SysFreeString(k);
    SysFreeString(h);
    return res == 0 ? handle : 0;
}

bool ReadAll(int fd, void* p, size_t n) {
    auto* b = static_cast<uint8_t*>(p);
    while (n > 0) {
        ssize_t got = read(fd, b, n);
        if (got <= 0) return false;
        b += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

void BM_RawPingPong(benchmark::State& state) {
    constexpr size_t kRequest = 9, kAnswer = 10;  // a GetPumpsCount frame and its answer
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    if (bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        state.SkipWithError("no listener");
        return;
    }
    pid_t child = fork();
    if (child == 0) {  // the echo server: answers every request with kAnswer bytes
        int c = accept(listener, nullptr, nullptr);
        int one = 1;
        setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        uint8_t in[kRequest], out[kAnswer] = {};
        while (ReadAll(c, in, sizeof in)) {
            if (write(c, out, sizeof out) != static_cast<ssize_t>(sizeof out)) break;
        }
        _exit(0);
    }
    close(listener);
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        state.SkipWithError("no connection");
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        return;
    }
    uint8_t req[kRequest] = {}, ans[kAnswer];
    std::vector<double> us;
    for (auto _ : state) {
        auto t0 = Clock::now();
        if (write(fd, req, sizeof req) != static_cast<ssize_t>(sizeof req) || !ReadAll(fd, ans, sizeof ans)) {
            state.SkipWithError("echo failed");
            break;
        }
        auto d = Clock::now() - t0;
        us.push_back(Micros(d));
        state.SetIterationTime(std::chrono::duration<double>(d).count());
    }
    close(fd);
    waitpid(child, nullptr, 0);
    Percentiles(state, us);
}
BENCHMARK(BM_RawPingPong)->UseManualTime()->Iterations(20000);

void BM_GetPumpsCount(benchmark::State& state) {
    int32_t h = Logon();
    if (h == 0) {
        state.SkipWithError("logon failed");
        return;
    }
    std::vector<double> us;
    int32_t count = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        int32_t res = GetPumpsCountMT(h, &count);  // -101 until the configuration store exists
        auto d = Clock::now() - t0;
        benchmark::DoNotOptimize(res);
        us.push_back(Micros(d));
        state.SetIterationTime(std::chrono::duration<double>(d).count());
    }
    ClientLogoffMT(&h);
    Percentiles(state, us);
}
BENCHMARK(BM_GetPumpsCount)->UseManualTime()->Iterations(20000);

// `sessions` sessions, each on its own thread, each making `calls` calls.
void BM_Sessions(benchmark::State& state) {
    const int sessions = static_cast<int>(state.range(0));
    const int calls = 20000 / sessions * 2;
    for (auto _ : state) {
        std::vector<std::vector<double>> samples(static_cast<size_t>(sessions));
        std::vector<int32_t> handles;
        for (int i = 0; i < sessions; ++i) handles.push_back(Logon());
        std::atomic<int> ready{0};
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int i = 0; i < sessions; ++i) {
            threads.emplace_back([&, i] {
                auto& mine = samples[static_cast<size_t>(i)];
                mine.reserve(static_cast<size_t>(calls));
                ++ready;
                while (!go.load()) std::this_thread::yield();
                int32_t count = 0;
                for (int c = 0; c < calls; ++c) {
                    auto t0 = Clock::now();
                    GetPumpsCountMT(handles[static_cast<size_t>(i)], &count);
                    mine.push_back(Micros(Clock::now() - t0));
                }
            });
        }
        while (ready.load() < sessions) std::this_thread::yield();
        auto t0 = Clock::now();
        go = true;
        for (auto& t : threads) t.join();
        double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(seconds);
        for (int32_t& h : handles) ClientLogoffMT(&h);
        std::vector<double> all;
        for (auto& s : samples) all.insert(all.end(), s.begin(), s.end());
        state.counters["calls_per_s"] = static_cast<double>(all.size()) / seconds;
        Percentiles(state, all);
    }
}
BENCHMARK(BM_Sessions)->Arg(1)->Arg(8)->UseManualTime()->Iterations(1);

// 100,000 pump status events injected by 2 sessions to a third, which reads them with
// GetNextPumpEventEx3 as they come: events/s from the first injection to the last read.
void BM_Events100k(benchmark::State& state) {
    constexpr int kEvents = 100000, kInjectors = 2;
    const quendril::api::RecordInfo* rec = quendril::api::RecordOfKind(1);
    std::vector<QuendrilValue> values;
    const std::u16string grade = u"Unleaded 95";
    BSTR gradeText = SysAllocStringLen(grade.data(), static_cast<uint32_t>(grade.size()));
    for (const quendril::api::ParamInfo& f : quendril::api::FieldsOf(*rec))
        values.push_back({static_cast<int32_t>(f.type), 0, 3, 1.5, f.type == quendril::api::Type::kText ? gradeText : nullptr});
    for (auto _ : state) {
        int32_t reader = Logon(), serverNo = 0;
        QuendrilServerSessionMT(reader, &serverNo);
        std::vector<int32_t> injectors;
        for (int i = 0; i < kInjectors; ++i) injectors.push_back(Logon());
        auto t0 = Clock::now();
        std::vector<std::thread> threads;
        for (int i = 0; i < kInjectors; ++i) {
            threads.emplace_back([&, i] {
                for (int e = 0; e < kEvents / kInjectors; ++e)
                    QuendrilInjectEventMT(injectors[static_cast<size_t>(i)], serverNo, 1, values.data(),
                                          static_cast<int32_t>(values.size()));
            });
        }
        int read = 0;
        auto lastProgress = Clock::now();
        while (read < kEvents && Clock::now() - lastProgress < std::chrono::seconds(10)) {
            if (ProcessEventsMT(reader) != 0) break;
            int16_t kind = 0;
            bool any = false;
            while (GetNextEventTypeMT(reader, &kind) == 0 && kind != 0) {
                int32_t i32[16] = {};
                int16_t i16[20] = {};
                int64_t i64[5] = {};
                double f64[6] = {};
                BSTR t[5] = {};
                GetNextPumpEventEx3MT(reader, &i32[0], &i32[1], &i16[0], &i16[1], &i32[2], &i32[3], &i32[4],
                                      &i32[5], &i32[6], &i32[7], &t[0], &t[1], &i16[2], &f64[0], &f64[1], &f64[2],
                                      &i16[3], &t[2], &i32[8], &i16[4], &i16[5], &i16[6], &i16[7], &i16[8],
                                      &i32[9], &i16[9], &i16[10], &i16[11], &i16[12], &i16[13], &i16[14],
                                      &i16[15], &i64[0], &i32[10], &i32[11], &t[3], &i64[1], &i32[12], &i32[13],
                                      &t[4], &i64[2], &f64[3], &f64[4]);
                for (BSTR b : t) SysFreeString(b);
                ++read;
                any = true;
            }
            if (any) lastProgress = Clock::now();
            else std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        for (auto& t : threads) t.join();
        state.SetIterationTime(seconds);
        state.counters["events_read"] = read;
        state.counters["events_per_s"] = read / seconds;
        for (int32_t& h : injectors) ClientLogoffMT(&h);
        ClientLogoffMT(&reader);
    }
    SysFreeString(gradeText);
}
BENCHMARK(BM_Events100k)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
