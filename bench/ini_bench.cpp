// Reading a card-client configuration file the way the import does (section by section through
// CINIFile) against a full parse of the same file by inih with a counting handler.
#include <benchmark/benchmark.h>

#include <ini.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "common/CINIFile.h"

namespace fs = std::filesystem;

namespace {

enum class Kind { kText, kInt, kMoney };

struct KeySpec {
    const char* name;
    Kind kind;
};

constexpr KeySpec kKeys[20] = {
    {"Number", Kind::kInt},        {"Name", Kind::kText},         {"Tag", Kind::kText},
    {"Enabled", Kind::kInt},       {"PriceLevel", Kind::kInt},    {"Plate", Kind::kText},
    {"IDNumber", Kind::kText},     {"ShortName", Kind::kText},    {"Password", Kind::kText},
    {"GradeType", Kind::kInt},     {"CardType", Kind::kInt},      {"LimitType", Kind::kInt},
    {"Limit", Kind::kMoney},       {"EntryType", Kind::kInt},     {"ExpirationDate", Kind::kMoney},
    {"ParentID", Kind::kInt},      {"SorvikSerialNo", Kind::kInt}, {"Odometer", Kind::kInt},
    {"Factor", Kind::kMoney},      {"Balance", Kind::kMoney},
};

// The file of `sections` card clients, written as the export writes it (CR LF, a blank line
// before every header). Made once per size in a temporary folder, removed at exit.
class Files {
public:
    ~Files() {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    const std::string& Get(int sections) {
        auto found = paths_.find(sections);
        if (found != paths_.end()) return found->second;
        if (dir_.empty()) {
            dir_ = fs::temp_directory_path() / ("ini_bench_" + std::to_string(::getpid()));
            fs::create_directories(dir_);
        }
        const std::string path = (dir_ / ("clients" + std::to_string(sections) + ".ini")).string();
        FILE* out = std::fopen(path.c_str(), "wb");
        for (int s = 1; s <= sections; ++s) {
            std::fprintf(out, "\r\n[CardClient%05d]\r\n", s);
            for (int k = 0; k < 20; ++k) {
                const KeySpec& key = kKeys[k];
                switch (key.kind) {
                    case Kind::kText:
                        std::fprintf(out, "%s=%s %05d-%d\r\n", key.name, "Client text", s, k);
                        break;
                    case Kind::kInt:
                        std::fprintf(out, "%s=%d\r\n", key.name, (s * 31 + k) % 100000);
                        break;
                    case Kind::kMoney:
                        std::fprintf(out, "%s=%.3f\r\n", key.name, s * 1.25 + k / 8.0);
                        break;
                }
            }
        }
        std::fclose(out);
        return paths_[sections] = path;
    }

private:
    fs::path dir_;
    std::map<int, std::string> paths_;
};

Files& TheFiles() {
    static Files files;
    return files;
}

void BM_CINIFileImportRead(benchmark::State& state) {
    const std::string& path = TheFiles().Get(static_cast<int>(state.range(0)));
    CStr keys[20];
    for (int k = 0; k < 20; ++k) keys[k].Assign(kKeys[k].name);
    int64_t values = 0;
    for (auto _ : state) {
        CINIFile ini(CStr(path.c_str()), true);
        CStr name;
        CStr text;
        int64_t sum = 0;
        int sections = 0;
        for (int n = 1; ini.GetSectionName(n, name); ++n) {
            ++sections;
            ini.SetSection(name);
            for (int k = 0; k < 20; ++k) {
                switch (kKeys[k].kind) {
                    case Kind::kText: sum += ini.GetString(keys[k], text); break;
                    case Kind::kInt: sum += ini.GetInt(keys[k]); break;
                    case Kind::kMoney: sum += ini.GetCur(keys[k]).Value(); break;
                }
                ++values;
            }
        }
        if (sections != state.range(0)) state.SkipWithError("wrong section count");
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(values);
    state.counters["sections"] = static_cast<double>(state.range(0));
}

int CountingHandler(void* user, const char*, const char*, const char*) {
    ++*static_cast<int64_t*>(user);
    return 1;
}

void BM_InihParse(benchmark::State& state) {
    const std::string& path = TheFiles().Get(static_cast<int>(state.range(0)));
    int64_t values = 0;
    for (auto _ : state) {
        int64_t count = 0;
        if (ini_parse(path.c_str(), CountingHandler, &count) != 0) state.SkipWithError("parse");
        if (count != state.range(0) * 20) state.SkipWithError("wrong key count");
        values += count;
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(values);
    state.counters["sections"] = static_cast<double>(state.range(0));
}

// What the import-style read cannot go below: CINIFile checks the file's identity and time stamps
// once per lookup (one stat per key read), so that a change by another writer is always seen.
void BM_OneStatPerKeyFloor(benchmark::State& state) {
    const std::string& path = TheFiles().Get(static_cast<int>(state.range(0)));
    const int64_t keys = state.range(0) * 20;
    for (auto _ : state) {
        struct stat info;
        for (int64_t i = 0; i < keys; ++i) benchmark::DoNotOptimize(stat(path.c_str(), &info));
    }
    state.SetItemsProcessed(keys * state.iterations());
}

}  // namespace

BENCHMARK(BM_OneStatPerKeyFloor)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CINIFileImportRead)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InihParse)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
