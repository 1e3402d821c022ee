// Bytes per second of each sample converter, beside memcpy of the same size.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "sync/SampleConverters.h"

namespace {

struct Buffers {
    explicit Buffers(size_t n) : source(n), destination(n) {
        std::mt19937 random(1);
        for (auto& b : source) b = static_cast<unsigned char>(random());
    }
    std::vector<unsigned char> source, destination;
};

void run(benchmark::State& state, VELMORA::SampleConverter convert) {
    const auto n = static_cast<size_t>(state.range(0));
    Buffers b(n);
    for (auto _ : state) {
        convert(b.destination.data(), b.source.data(), n);
        benchmark::DoNotOptimize(b.destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

void memcpyReference(void* destination, const void* source, size_t bytes) {
    std::memcpy(destination, source, bytes);
}

#define CONVERTER_BENCH(name, fn)                                             \
    void name(benchmark::State& state) { run(state, fn); }                    \
    BENCHMARK(name)->Arg(4096)->Arg(65536)

namespace c = VELMORA::converters;
CONVERTER_BENCH(BM_memcpy, memcpyReference);
CONVERTER_BENCH(BM_copy, c::copy);
CONVERTER_BENCH(BM_invert, c::invert);
CONVERTER_BENCH(BM_swap32, c::swap32);
CONVERTER_BENCH(BM_swap32Invert, c::swap32Invert);
CONVERTER_BENCH(BM_swap32BitReverse, c::swap32BitReverse);
CONVERTER_BENCH(BM_swap32BitReverseInvert, c::swap32BitReverseInvert);
CONVERTER_BENCH(BM_bitReverse, c::bitReverse);
CONVERTER_BENCH(BM_bitReverseInvert, c::bitReverseInvert);

}  // namespace

BENCHMARK_MAIN();
