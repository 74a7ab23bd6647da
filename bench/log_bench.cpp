// Lines per second through CLog (time-stamp type 1, file kept open) beside a bare fwrite of the
// same lines to a file, so the cost of the log's own work shows against the C library's.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/CLog.h"

namespace {

constexpr const char* kText = "Pump %d: delivery %d authorised, hose 2, grade 95";

std::string TempBase(const char* name) {
    char pattern[] = "/tmp/log_bench_XXXXXX";
    const char* dir = mkdtemp(pattern);
    return std::string(dir != nullptr ? dir : "/tmp") + "/" + name;
}

void RemoveAll(const std::string& base) {
    std::remove((base + ".L00").c_str());
    std::remove((base + ".L01").c_str());
    std::remove(base.c_str());
    const size_t slash = base.find_last_of('/');
    rmdir(base.substr(0, slash).c_str());
}

void BM_CLogWrite(benchmark::State& state) {
    const std::string base = TempBase("Bench");
    int64_t bytes = 0;
    {
        CLog log(base.c_str(), "2.6.0.0", CLog::kElapsedTimeStamp, 0xFFFFFFFFu, 10, true, true);
        int i = 0;
        for (auto _ : state) {
            log.Write(kText, i % 16 + 1, i);
            ++i;
        }
        log.Flush();
        FILE* file = std::fopen((base + ".L00").c_str(), "rb");
        if (file != nullptr) {
            std::fseek(file, 0, SEEK_END);
            bytes = std::ftell(file);
            std::fclose(file);
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(bytes);
    RemoveAll(base);
}
BENCHMARK(BM_CLogWrite);

// The same lines, formatted with the same prefix width, written with fwrite through the stream's
// own buffer.
void BM_BareFwrite(benchmark::State& state) {
    const std::string base = TempBase("Bare");
    const std::string name = base + ".L00";
    FILE* file = std::fopen(name.c_str(), "a");
    if (file == nullptr) {
        state.SkipWithError("cannot open the temporary file");
        return;
    }
    char line[1100];
    int i = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        const int prefix = std::snprintf(line, sizeof line, "%6dms ", 0);
        int used = prefix + std::snprintf(line + prefix, sizeof line - prefix, kText, i % 16 + 1, i);
        line[used++] = '\n';
        std::fwrite(line, 1, used, file);
        bytes += used;
        ++i;
    }
    std::fclose(file);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(bytes);
    RemoveAll(base);
}
BENCHMARK(BM_BareFwrite);

}  // namespace

BENCHMARK_MAIN();
