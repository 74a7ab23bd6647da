// Kestrum's export and import through the tool's own code (kestrum_core, the real libQuendril.so
// loaded by its binding) against live wyrlan servers, beside the call floor: the same number of
// trivial calls (GetPumpsCount) on the same session in the same run.
//
//   large   the generated large site (--generate-site large)
//   small   the large site's file cut to about a fifth of its calls: products 1-1000, attendants
//           1-100, card clients 1-2000 and the 64 grades the tanks use (ports, ZigBee devices,
//           tanks and pumps stay whole); imported into an empty server, then exported from it
//
// The number of client calls is measured, not derived: every call is one request segment on the
// session's call connection (TCP_INFO data segments sent, calibrated with the trivial calls).
// Run: build/bench/kestrum_bench. Servers on 127.0.14.x with the tool's fixed ports.
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <linux/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/CLog.h"
#include "extract/CClientLibrary.h"
#include "extract/Kestrum.h"
#include "wyrlan/testing/server_process.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Tool {
    std::string dir;
    CLog* log = nullptr;
    CClientLibrary* library = nullptr;
    int32_t (*callsSocket)(int32_t, int32_t*) = nullptr;
    int32_t (*pumpsCount)(int32_t, int32_t*) = nullptr;

    Tool() {
        char pattern[] = "/tmp/kestrum-bench-XXXXXX";
        dir = mkdtemp(pattern);
        log = new CLog(CStr((dir + "/Kestrum").c_str()), CStr("bench"), CLog::kNoTimeStamp, 2048000, 10, false, true);
        library = new CClientLibrary(*log, KESTRUM_QUENDRIL);
        if (!library->Load()) Fail("cannot load " KESTRUM_QUENDRIL);
        kestrum::BindTool(log, library);
        void* handle = dlopen(KESTRUM_QUENDRIL, RTLD_NOW | RTLD_NOLOAD);
        callsSocket = reinterpret_cast<int32_t (*)(int32_t, int32_t*)>(dlsym(handle, "GetClientCallsSocketMT"));
        pumpsCount = reinterpret_cast<int32_t (*)(int32_t, int32_t*)>(dlsym(handle, "GetPumpsCountMT"));
        if (callsSocket == nullptr || pumpsCount == nullptr) Fail("entry points missing");
    }
    ~Tool() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    [[noreturn]] static void Fail(const char* why) {
        std::fprintf(stderr, "kestrum_bench: %s\n", why);
        std::exit(1);
    }

    void Logon(const std::string& server) {
        library->Logoff();
        if (library->Logon(kestrum::kClientID, kestrum::kClientType, CStr(kestrum::kClientName),
                           kestrum::kClientCategory, CStr(kestrum::kHashKey), 0, CStr(server.c_str()),
                           kestrum::kCallPort, kestrum::kEventsPort, kestrum::kCallTimeout, 0, 0,
                           kestrum::kMessageNo) != 0 ||
            library->SetClientType(kestrum::kClientKey) != 0) {
            Fail("logon failed");
        }
    }
    // Data segments sent so far on the session's call connection.
    uint64_t Segments() {
        int32_t fd = -1;
        tcp_info info{};
        socklen_t length = sizeof info;
        if (callsSocket(library->SessionHandle(), &fd) != 0 ||
            getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) {
            Fail("no call connection");
        }
        return info.tcpi_data_segs_out;
    }
    // Seconds for `n` GetPumpsCount calls on the session.
    double Trivial(uint64_t n) {
        const auto start = Clock::now();
        for (uint64_t i = 0; i < n; ++i) {
            int32_t count = 0;
            if (pumpsCount(library->SessionHandle(), &count) != 0) Fail("GetPumpsCount failed");
        }
        return std::chrono::duration<double>(Clock::now() - start).count();
    }
};

// Runs `operation` with standard output silenced (the tool's progress dots).
template <class Operation>
int Silenced(Operation operation) {
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
    const int status = operation();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return status;
}

struct Figures {
    uint64_t calls;
    double seconds;
    double floor;
};

// One measured operation: calls and seconds, then the floor of as many trivial calls.
template <class Operation>
Figures Measure(Tool& tool, double segmentsPerCall, Operation operation) {
    const uint64_t before = tool.Segments();
    const auto start = Clock::now();
    if (Silenced(operation) != 0) Tool::Fail("the operation failed");
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const uint64_t calls = uint64_t(double(tool.Segments() - before) / segmentsPerCall + 0.5);
    return {calls, seconds, tool.Trivial(calls)};
}

void Print(const char* name, const Figures& f, double target) {
    const double ratio = f.seconds / f.floor;
    std::printf("%-14s %8llu calls %8.3f s  floor %8.3f s  ratio %5.2f (target %.1f) %s  %6.1f us/call\n", name,
                static_cast<unsigned long long>(f.calls), f.seconds, f.floor, ratio, target,
                ratio <= target ? "met" : "MISSED", f.seconds * 1e6 / double(f.calls));
}

// The large site's file cut down (see the top of the file).
void Trim(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    bool keep = true;
    for (std::string line; std::getline(in, line);) {
        if (line.size() > 2 && line[0] == '[') {
            const int id = std::atoi(line.c_str() + line.find_first_of("0123456789"));
            auto is = [&](const char* kind) { return line.compare(1, std::strlen(kind), kind) == 0; };
            keep = !((is("Product") && id > 1000) || (is("Attendant") && id > 100) || (is("Client") && id > 2000) ||
                     (is("Grade") && id > 64));
            // The empty line before a header belongs to the header.
            if (keep) out << "\r\n";
        }
        if (keep && !(line == "\r" || line.empty())) out << line << "\n";
    }
}

}  // namespace

int main() {
    Tool tool;
    wyrlan::ServerProcess large, largeTarget, small;
    for (auto* server : {&large, &largeTarget, &small}) server->UseFixedPorts(kestrum::kCallPort, kestrum::kEventsPort);
    if (!large.Start("127.0.14.1", {"--quiet", "--generate-site", "large"}) ||
        !largeTarget.Start("127.0.14.2", {"--quiet"}) || !small.Start("127.0.14.3", {"--quiet"})) {
        Tool::Fail("cannot start the servers");
    }
    const std::string largeFile = tool.dir + "/large.ini", smallFile = tool.dir + "/small.ini",
                      smallCopy = tool.dir + "/small-export.ini";

    // Segments per call, from the trivial calls themselves.
    tool.Logon("127.0.14.1");
    const uint64_t before = tool.Segments();
    tool.Trivial(2000);
    const double segmentsPerCall = double(tool.Segments() - before) / 2000.0;
    std::printf("request segments per call: %.3f\n", segmentsPerCall);

    auto exporter = [](const std::string& file) {
        return [file] { return ExportConfiguration(CStr(file.c_str()), false, false, false, false, false, false, false); };
    };
    auto importer = [](const std::string& file) {
        return [file] { return ImportConfiguration(CStr(file.c_str()), false, false, false); };
    };

    const Figures largeExport = Measure(tool, segmentsPerCall, exporter(largeFile));
    tool.Logon("127.0.14.2");
    const Figures largeImport = Measure(tool, segmentsPerCall, importer(largeFile));
    Trim(largeFile, smallFile);
    tool.Logon("127.0.14.3");
    const Figures smallImport = Measure(tool, segmentsPerCall, importer(smallFile));
    const Figures smallExport = Measure(tool, segmentsPerCall, exporter(smallCopy));
    tool.library->Logoff();

    Print("export large", largeExport, 1.3);
    Print("export small", smallExport, 1.3);
    Print("import large", largeImport, 1.6);
    Print("import small", smallImport, 1.6);
    std::printf("large/small: export %.2fx the calls, %.2fx the time; import %.2fx the calls, %.2fx the time\n",
                double(largeExport.calls) / double(smallExport.calls), largeExport.seconds / smallExport.seconds,
                double(largeImport.calls) / double(smallImport.calls), largeImport.seconds / smallImport.seconds);
    return 0;
}
