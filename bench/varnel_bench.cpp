// The component's drain against a live wyrlan, beside a bare loop over the library's reader:
//   DrainToWidget  Quendril::CheckEvents dispatching 100,000 injected pump status events to a
//                  registered VQPump
//   BareReader     the same 100,000 events read with GetNextPumpEventEx3 and their texts freed
// Only the reading is timed: each iteration first injects the events and waits until the library
// holds them all. Run: build/bench/varnel_bench (counter events_per_s).
#include <benchmark/benchmark.h>

#include <QApplication>

#include <chrono>
#include <memory>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "controls/Quendril.h"
#include "controls/VQPump.h"
#include "quendril/api/api_table.h"
#include "quendril/include/quendril_control.h"
#include "wyrlan/testing/server_process.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kEvents = 100000;
constexpr int32_t kPumpID = 3;

struct Drainer : Varnel::Quendril {
    void Drain() { CheckEvents(); }
};

class CountingPump : public Varnel::VQPump {
public:
    int64_t calls = 0;
    int32_t StatusEventSink(int16_t, int16_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, const QString&,
                            const QString&, int16_t, double, double, double, int16_t, const QString&, int32_t, int16_t,
                            int16_t, int16_t, int16_t, int16_t, int32_t, int16_t, int16_t, int16_t, int16_t, int16_t,
                            int16_t, int16_t, int64_t, int32_t, int32_t, const QString&, int64_t, int32_t, int32_t,
                            const QString&, int64_t, double, double) override {
        ++calls;
        return 0;
    }
};

struct Rig {
    wyrlan::ServerProcess server;
    std::unique_ptr<QApplication> app;
    std::unique_ptr<Drainer> q;
    std::unique_ptr<CountingPump> pump;
    int32_t injector = 0;
    int32_t target = 0;
    std::vector<QuendrilValue> record;
    bool ok = false;

    Rig() {
        static int argc = 1;
        static char name[] = "varnel_bench";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
        if (!server.Start("127.0.0.62")) return;
        q = std::make_unique<Drainer>();
        const QString host = QString::fromStdString(server.Address());
        // Mask 1: pump status events only.
        if (q->InternalClientLogon(5, 1, QStringLiteral("bench"), 1, QStringLiteral(QUENDRIL_DEFAULT_HASH_KEY), 1,
                                   host, static_cast<int16_t>(server.CallPort()),
                                   static_cast<int16_t>(server.EventsPort()), 10000) != 0) {
            return;
        }
        pump = std::make_unique<CountingPump>();
        pump->SetID(kPumpID);
        q->AddVQPump(pump.get());
        BSTR key = Varnel::String2BSTR(QStringLiteral(QUENDRIL_DEFAULT_HASH_KEY));
        BSTR server16 = Varnel::String2BSTR(host);
        BSTR who = Varnel::String2BSTR(QStringLiteral("injector"));
        const int32_t res = InternalClientLogonMT(&injector, 99, 1, who, 1, key, 0, server16, server.CallPort(),
                                                  server.EventsPort(), 10000, -1, 0, 0);
        SysFreeString(key);
        SysFreeString(server16);
        SysFreeString(who);
        if (res != 0 || QuendrilServerSession(&target) != 0) return;
        // A pump status record of the usual shape: numbers, two short grade texts, a pump name.
        const quendril::api::RecordInfo* r = quendril::api::RecordOfKind(1);
        int i = 0;
        for (const auto& f : quendril::api::FieldsOf(*r)) {
            QuendrilValue v{static_cast<int32_t>(f.type), 0, i, i + 0.5, nullptr};
            if (f.type == quendril::api::Type::kText) v.Text = SysAllocString(u"ULP95");
            if (std::string_view(f.name) == "PumpID") v.Int = kPumpID;
            record.push_back(v);
            ++i;
        }
        ok = true;
    }
    ~Rig() {
        for (QuendrilValue& v : record) SysFreeString(v.Text);
        if (injector != 0) ClientLogoffMT(&injector);
        if (q && pump) q->RemoveVQPump(pump.get());
        q.reset();
    }

    // Injects kEvents pump status events from two threads and waits until the library has them
    // all readable.
    bool Fill() {
        std::vector<std::thread> threads;
        for (int t = 0; t < 2; ++t) {
            threads.emplace_back([&, t] {
                for (int e = t; e < kEvents; e += 2) {
                    QuendrilInjectEventMT(injector, target, 1, record.data(), static_cast<int32_t>(record.size()));
                }
            });
        }
        for (std::thread& t : threads) t.join();
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        int32_t count = 0;
        while (Clock::now() < deadline) {
            if (ProcessEvents() != 0 || GetEventsCount(&count) != 0) return false;
            if (count >= kEvents) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
};

Rig& TheRig() {
    static Rig rig;
    return rig;
}

template <class... P, size_t... I>
int32_t ReadOne(quendril::api::Params<P...>, std::index_sequence<I...>) {
    std::tuple<typename P::Value...> locals{};
    const int32_t res = GetNextPumpEventEx3(&std::get<I>(locals)...);
    (
        [&] {
            if constexpr (std::is_same_v<typename P::Value, BSTR>) SysFreeString(std::get<I>(locals));
        }(),
        ...);
    return res;
}

void BareReader(benchmark::State& state) {
    Rig& rig = TheRig();
    if (!rig.ok) {
        state.SkipWithError("server or logon failed");
        return;
    }
    using Sig = quendril::api::sig::GetNextPumpEventEx3;
    for (auto _ : state) {
        if (!rig.Fill()) {
            state.SkipWithError("injection failed");
            return;
        }
        const auto start = Clock::now();
        int read = 0;
        int16_t type = 0;
        while (ProcessEvents() == 0 && GetNextEventType(&type) == 0 && type != 0) {
            if (ReadOne(Sig{}, std::make_index_sequence<Sig::kCount>{}) == 0) ++read;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (read != kEvents) state.SkipWithError("not every event was read");
    }
    state.counters["events_per_s"] = benchmark::Counter(double(kEvents) * state.iterations(), benchmark::Counter::kIsRate);
}

void DrainToWidget(benchmark::State& state) {
    Rig& rig = TheRig();
    if (!rig.ok) {
        state.SkipWithError("server or logon failed");
        return;
    }
    for (auto _ : state) {
        if (!rig.Fill()) {
            state.SkipWithError("injection failed");
            return;
        }
        const int64_t before = rig.pump->calls;
        const auto start = Clock::now();
        rig.q->Drain();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (rig.pump->calls - before != kEvents) state.SkipWithError("not every event reached the widget");
    }
    state.counters["events_per_s"] = benchmark::Counter(double(kEvents) * state.iterations(), benchmark::Counter::kIsRate);
}

BENCHMARK(BareReader)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(DrainToWidget)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
