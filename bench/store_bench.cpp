// The configuration store through the client library, on the large generated site
// (wyrlan --generate-site large), beside the same number of trivial calls in the same run:
//   read    every object the way an export does: count, then ordinal and properties of each
//   write   10,000 card clients with SetCardClientPropertiesEx4
//   floor   GetPumpsCount, as many calls as the step above made
// Prints calls, seconds and the rate of each step against its floor (target: at least 70%).
// Run: build/release/bench/store_bench [rounds]   (the best of `rounds`, default 3)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "quendril/include/quendril.h"
#include "quendril/include/quendril_control.h"
#include "wyrlan/store/tests/library_call.h"
#include "wyrlan/testing/server_process.h"

namespace {

using quendril::api::FunctionId;
using wyrlan::store::Value;
using wyrlan::store::testing::CallThroughLibrary;
using Clock = std::chrono::steady_clock;
namespace api = quendril::api;

struct Family {
    FunctionId count, ordinal, properties;
    std::vector<Value> filters;  // the count's and ordinal's filters: none
};

std::vector<Family> ExportFamilies() {
    using F = FunctionId;
    const std::vector<Value> products = {Value::I32(-1), Value::Text(u""), Value::Text(u""),
                                         Value::Text(u""), Value::Text(u""), Value::I32(-1)};
    return {
        {F::GetPortsCount, F::GetPortByOrdinal, F::GetPortProperties, {}},
        {F::GetZigBeeCount, F::GetZigBeeByOrdinal, F::GetZigBeeProperties, {}},
        {F::GetGradesCount, F::GetGradeByOrdinal, F::GetGradePropertiesEx, {}},
        {F::GetTanksCount, F::GetTankByOrdinal, F::GetTankPropertiesEx3, {}},
        {F::GetPumpsCount, F::GetPumpByOrdinal, F::GetPumpPropertiesEx, {}},
        {F::GetHosesCount, F::GetHoseByOrdinal, F::GetHosePropertiesEx3, {}},
        {F::GetSensorsCount, F::GetSensorByOrdinal, F::GetSensorPropertiesEx, {}},
        {F::GetProductsCount, F::GetProductByOrdinal, F::GetProductPropertiesEx2, products},
        {F::GetAttendantsCount, F::GetAttendantByOrdinal, F::GetAttendantPropertiesEx2, {}},
        {F::GetCardClientsCount, F::GetCardClientByOrdinal, F::GetCardClientPropertiesEx4, {}},
    };
}

int32_t Logon(const wyrlan::ServerProcess& server) {
    auto text = [](const std::string& s) {
        std::u16string u(s.begin(), s.end());
        return SysAllocStringLen(u.data(), static_cast<uint32_t>(u.size()));
    };
    BSTR name = text("store bench"), key = text(QUENDRIL_DEFAULT_HASH_KEY), host = text(server.Address());
    int32_t session = 0;
    int32_t r = InternalClientLogonMT(&session, 1, 1, name, 1, key, 0, host, server.CallPort(), server.EventsPort(),
                                      10000, -1, 0, 1024);
    SysFreeString(name);
    SysFreeString(key);
    SysFreeString(host);
    return r == 0 ? session : 0;
}

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Calls every object of the site as an export does; the number of calls, -1 on a failure.
long ReadSite(int32_t session, long* objects) {
    long calls = 0;
    *objects = 0;
    std::vector<Value> out;
    for (const Family& f : ExportFamilies()) {
        if (CallThroughLibrary(session, f.count, f.filters, out) != 0) return -1;
        ++calls;
        const int32_t n = static_cast<int32_t>(out[0].i);
        for (int32_t i = 1; i <= n; ++i) {
            std::vector<Value> in{Value::I32(i)};
            in.insert(in.end(), f.filters.begin(), f.filters.end());
            if (CallThroughLibrary(session, f.ordinal, in, out) != 0) return -1;
            if (CallThroughLibrary(session, f.properties, {out[0]}, out) != 0) return -1;
            calls += 2;
        }
        *objects += n;
    }
    return calls;
}

// Writes card clients 1..n with SetCardClientPropertiesEx4, as an import of them would.
bool WriteCardClients(int32_t session, int n, int round) {
    std::vector<Value> out;
    const auto params = api::ParamsOf(api::kFunctions[static_cast<size_t>(FunctionId::SetCardClientPropertiesEx4)]);
    for (int id = 1; id <= n; ++id) {
        std::vector<Value> in;
        for (const api::ParamInfo& p : params) {
            const std::string_view name = p.name;
            Value v = Value::Zero(p.type);
            if (name == "ID" || name == "Number") v = Value::I32(id);
            else if (name == "Name") v = Value::Text(u"Client " + std::u16string(1, u'A' + round % 26));
            else if (name == "Tag") v = Value::Text(u"T" + std::u16string(1, u'a' + round % 26) + u"-" +
                                                    std::u16string(1, static_cast<char16_t>(u'0' + id % 10)));
            else if (name == "CardType" || name == "GradeType" || name == "LimitType" || name == "EntryType") v = Value::I16(1);
            else if (name == "ParentID") v = Value::I32(-1);
            else if (name == "Odometer") v = Value::F64(round * 100000.0 + id);
            in.push_back(v);
        }
        if (CallThroughLibrary(session, FunctionId::SetCardClientPropertiesEx4, in, out) != 0) return false;
    }
    return true;
}

double TrivialCalls(int32_t session, long calls) {
    auto start = Clock::now();
    for (long i = 0; i < calls; ++i) {
        int32_t count = 0;
        if (GetPumpsCountMT(session, &count) != 0) return -1;
    }
    return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    wyrlan::ServerProcess server;
    if (!server.Start("127.0.0.1", {"--generate-site", "large", "--quiet"})) {
        std::fprintf(stderr, "store_bench: wyrlan did not start\n");
        return 1;
    }
    int32_t session = Logon(server);
    if (session == 0) {
        std::fprintf(stderr, "store_bench: logon failed\n");
        return 1;
    }
    double bestRead = 1e9, bestReadFloor = 1e9, bestWrite = 1e9, bestWriteFloor = 1e9;
    long readCalls = 0, objects = 0;
    constexpr int kWrites = 10000;
    for (int r = 0; r < rounds; ++r) {
        auto start = Clock::now();
        readCalls = ReadSite(session, &objects);
        const double read = Seconds(start);
        if (readCalls < 0) {
            std::fprintf(stderr, "store_bench: a read failed\n");
            return 1;
        }
        bestRead = std::min(bestRead, read);
        bestReadFloor = std::min(bestReadFloor, TrivialCalls(session, readCalls));
        start = Clock::now();
        if (!WriteCardClients(session, kWrites, r)) {
            std::fprintf(stderr, "store_bench: a write failed\n");
            return 1;
        }
        bestWrite = std::min(bestWrite, Seconds(start));
        bestWriteFloor = std::min(bestWriteFloor, TrivialCalls(session, kWrites));
    }
    std::printf("large site, best of %d rounds, one session on 127.0.0.1\n", rounds);
    std::printf("%-34s %8s %9s %12s %14s %9s\n", "step", "calls", "seconds", "per second", "floor seconds",
                "of floor");
    std::printf("%-34s %8ld %9.3f %9.0f obj %14.3f %8.0f%%\n", "read every object (export)", readCalls, bestRead,
                objects / bestRead, bestReadFloor, 100.0 * bestReadFloor / bestRead);
    std::printf("%-34s %8d %9.3f %9.0f wr  %14.3f %8.0f%%\n", "write 10,000 card clients (Ex4)", kWrites, bestWrite,
                kWrites / bestWrite, bestWriteFloor, 100.0 * bestWriteFloor / bestWrite);
    ClientLogoffMT(&session);
    return server.Stop() == 0 ? 0 : 1;
}
