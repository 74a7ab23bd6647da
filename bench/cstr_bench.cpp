// Building a 32767-character text one character at a time: CStr::AppendChar against
// std::u16string::push_back. Reports the buffer reallocations (capacity changes) per text and per
// 32 characters, and the time per character.
#include <benchmark/benchmark.h>

#include <string>

#include "common/CStr.h"

namespace {

constexpr int kChars = CStr::kMaxLength;

void BM_CStrAppendChar(benchmark::State& state) {
    int64_t reallocations = 0;
    for (auto _ : state) {
        CStr text;
        int capacity = text.Capacity();
        int changes = 0;
        for (int i = 0; i < kChars; ++i) {
            text.AppendChar(char16_t(u'a' + i % 26));
            if (text.Capacity() != capacity) {
                capacity = text.Capacity();
                ++changes;
            }
        }
        benchmark::DoNotOptimize(text.Wide());
        reallocations = changes;
    }
    state.SetItemsProcessed(state.iterations() * kChars);
    state.counters["reallocations"] = double(reallocations);
    state.counters["reallocs_per_32_chars"] = double(reallocations) * 32.0 / kChars;
    state.counters["ns_per_char"] = benchmark::Counter(
        double(state.iterations()) * kChars,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CStrAppendChar);

void BM_U16StringPushBack(benchmark::State& state) {
    int64_t reallocations = 0;
    for (auto _ : state) {
        std::u16string text;
        size_t capacity = text.capacity();
        int changes = 0;
        for (int i = 0; i < kChars; ++i) {
            text.push_back(char16_t(u'a' + i % 26));
            if (text.capacity() != capacity) {
                capacity = text.capacity();
                ++changes;
            }
        }
        benchmark::DoNotOptimize(text.data());
        reallocations = changes;
    }
    state.SetItemsProcessed(state.iterations() * kChars);
    state.counters["reallocations"] = double(reallocations);
    state.counters["reallocs_per_32_chars"] = double(reallocations) * 32.0 / kChars;
    state.counters["ns_per_char"] = benchmark::Counter(
        double(state.iterations()) * kChars,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_U16StringPushBack);

}  // namespace

BENCHMARK_MAIN();
