#include "sync/SampleConverters.h"

#include <cstdint>
#include <cstring>
#include <iterator>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "log/LogLine.h"

namespace VELMORA {

namespace {

// Unaligned loads and stores of whole words in the machine's byte order; compilers turn
// these memcpy calls into single moves.
inline uint64_t load64(const unsigned char* p) { uint64_t v; std::memcpy(&v, p, 8); return v; }
inline void store64(unsigned char* p, uint64_t v) { std::memcpy(p, &v, 8); }
inline uint32_t load32(const unsigned char* p) { uint32_t v; std::memcpy(&v, p, 4); return v; }
inline void store32(unsigned char* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Byte order of each 32-bit half reversed (independent of the machine's byte order:
// the two halves are exchanged by the 64-bit swap and exchanged back by the rotation).
inline uint64_t swapHalves32(uint64_t v) {
    const uint64_t s = __builtin_bswap64(v);
    return (s >> 32) | (s << 32);
}

// Bits of every byte reversed, bytes kept in place (three mask-and-shift steps).
template <typename T>
inline T reverseBitsInBytes(T v) {
    constexpr T m1 = static_cast<T>(0x5555555555555555ull);
    constexpr T m2 = static_cast<T>(0x3333333333333333ull);
    constexpr T m4 = static_cast<T>(0x0F0F0F0F0F0F0F0Full);
    v = static_cast<T>(((v >> 1) & m1) | ((v & m1) << 1));
    v = static_cast<T>(((v >> 2) & m2) | ((v & m2) << 2));
    v = static_cast<T>(((v >> 4) & m4) | ((v & m4) << 4));
    return v;
}

// Applies a per-word operation to count / 4 whole 32-bit words: two words at a time
// through 64-bit lanes, then a last single word. Op64 must treat the two 32-bit
// halves of its argument independently, exactly as Op32 treats one word.
template <typename Op64, typename Op32>
inline void forEachWord(void* destination, const void* source, size_t bytes, Op64 op64, Op32 op32) {
    auto* d = static_cast<unsigned char*>(destination);
    const auto* s = static_cast<const unsigned char*>(source);
    const size_t pairs = bytes / 8;
    for (size_t i = 0; i < pairs; ++i) store64(d + 8 * i, op64(load64(s + 8 * i)));
    if (bytes & 4) store32(d + 8 * pairs, op32(load32(s + 8 * pairs)));
}

// A word converter does to each byte, in this order: moves it to the mirrored place in its
// 32-bit word (Swap), reverses its bits (Reverse), complements it (Invert).
#if defined(__x86_64__)
#define VELMORA_VECTOR_CONVERTERS 1

// 32 bytes per step with AVX2: one byte shuffle for the word swap, two 16-entry look-ups
// (pshufb) per byte for the bit reversal, one XOR for the complement.
struct VectorTables {
    __m256i swapShuffle, reversedHigh, reversedLow, nibble, ones;
};

__attribute__((target("avx2"))) VectorTables vectorTables() {
    // Bytes of each 32-bit word in reverse order; reversed nibble n placed high (for a low
    // nibble) and low (for a high nibble). The same 16 bytes in both lanes.
    alignas(16) static constexpr unsigned char swapOrder[16] = {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12};
    alignas(16) static constexpr unsigned char reversedNibbleHigh[16] = {
        0x00, 0x80, 0x40, 0xC0, 0x20, 0xA0, 0x60, 0xE0, 0x10, 0x90, 0x50, 0xD0, 0x30, 0xB0, 0x70, 0xF0};
    VectorTables t;
    t.swapShuffle = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(swapOrder)));
    t.reversedHigh = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(reversedNibbleHigh)));
    t.reversedLow = _mm256_srli_epi16(t.reversedHigh, 4);
    t.nibble = _mm256_set1_epi8(0x0F);
    t.ones = _mm256_set1_epi8(static_cast<char>(0xFF));
    return t;
}

template <bool Swap, bool Reverse, bool Invert>
__attribute__((target("avx2"), always_inline)) inline __m256i convert32(__m256i v, const VectorTables& t) {
    if constexpr (Swap) v = _mm256_shuffle_epi8(v, t.swapShuffle);
    if constexpr (Reverse) {
        const __m256i low = _mm256_and_si256(v, t.nibble);
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(v, 4), t.nibble);
        v = _mm256_or_si256(_mm256_shuffle_epi8(t.reversedHigh, low), _mm256_shuffle_epi8(t.reversedLow, high));
    }
    if constexpr (Invert) v = _mm256_xor_si256(v, t.ones);
    return v;
}

// Returns the bytes done (a multiple of 32); the caller converts the rest. Two steps per
// pass, so that the second load issues before the first result is needed.
template <bool Swap, bool Reverse, bool Invert>
__attribute__((target("avx2"))) size_t convertVector(unsigned char* d, const unsigned char* s, size_t bytes) {
    const VectorTables t = vectorTables();
    const auto* in = reinterpret_cast<const __m256i*>(s);
    auto* out = reinterpret_cast<__m256i*>(d);
    const size_t steps = bytes / 32;
    for (size_t i = 0; i + 1 < steps; i += 2) {
        const __m256i a = _mm256_loadu_si256(in + i);
        const __m256i b = _mm256_loadu_si256(in + i + 1);
        _mm256_storeu_si256(out + i, convert32<Swap, Reverse, Invert>(a, t));
        _mm256_storeu_si256(out + i + 1, convert32<Swap, Reverse, Invert>(b, t));
    }
    if (steps % 2 != 0)
        _mm256_storeu_si256(out + steps - 1, convert32<Swap, Reverse, Invert>(_mm256_loadu_si256(in + steps - 1), t));
    const size_t whole = steps * 32;
    return whole;
}

bool haveAvx2() {
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return supported;
}
#endif

// The bytes converted by the vector steps (none on a processor without them).
template <bool Swap, bool Reverse, bool Invert>
size_t convertVectorPart([[maybe_unused]] unsigned char* d, [[maybe_unused]] const unsigned char* s,
                         [[maybe_unused]] size_t bytes) {
#ifdef VELMORA_VECTOR_CONVERTERS
    if (haveAvx2()) return convertVector<Swap, Reverse, Invert>(d, s, bytes);
#endif
    return 0;
}

// A word converter: the vector steps where the processor has them, the 64-bit lanes for
// the rest (and on every other processor).
template <bool Swap, bool Reverse, bool Invert>
void convertWords(void* destination, const void* source, size_t bytes) {
    auto* d = static_cast<unsigned char*>(destination);
    const auto* s = static_cast<const unsigned char*>(source);
    const size_t done = convertVectorPart<Swap, Reverse, Invert>(d, s, bytes);
    auto op = [](auto v) {
        using T = decltype(v);
        if constexpr (Swap) {
            if constexpr (sizeof(T) == 8) v = swapHalves32(v);
            else v = __builtin_bswap32(v);
        }
        if constexpr (Reverse) v = reverseBitsInBytes(v);
        if constexpr (Invert) v = static_cast<T>(~v);
        return v;
    };
    forEachWord(d + done, s + done, bytes - done, [&](uint64_t v) { return op(v); },
                [&](uint32_t v) { return op(v); });
}

}  // namespace

namespace converters {

void copy(void* destination, const void* source, size_t bytes) {
    if (bytes) std::memcpy(destination, source, bytes);
}

void invert(void* destination, const void* source, size_t bytes) {
    auto* d = static_cast<unsigned char*>(destination);
    const auto* s = static_cast<const unsigned char*>(source);
    const size_t done = convertVectorPart<false, false, true>(d, s, bytes);
    const size_t words = bytes / 8;
    for (size_t i = done / 8; i < words; ++i) store64(d + 8 * i, ~load64(s + 8 * i));
    for (size_t i = words * 8; i < bytes; ++i) d[i] = static_cast<unsigned char>(~s[i]);
}

void swap32(void* d, const void* s, size_t n) { convertWords<true, false, false>(d, s, n); }
void swap32Invert(void* d, const void* s, size_t n) { convertWords<true, false, true>(d, s, n); }
void swap32BitReverse(void* d, const void* s, size_t n) { convertWords<true, true, false>(d, s, n); }
void swap32BitReverseInvert(void* d, const void* s, size_t n) { convertWords<true, true, true>(d, s, n); }
void bitReverse(void* d, const void* s, size_t n) { convertWords<false, true, false>(d, s, n); }
void bitReverseInvert(void* d, const void* s, size_t n) { convertWords<false, true, true>(d, s, n); }

}  // namespace converters

namespace {

struct ConverterPair {
    SampleConverter plain;
    SampleConverter inverted;
    const char* plainName;
    const char* invertedName;
};

constexpr ConverterPair pairs[] = {
    {converters::copy, converters::invert, "copy", "invert"},
    {converters::swap32, converters::swap32Invert, "swap32", "swap32Invert"},
    {converters::swap32BitReverse, converters::swap32BitReverseInvert, "swap32BitReverse",
     "swap32BitReverseInvert"},
    {converters::bitReverse, converters::bitReverseInvert, "bitReverse", "bitReverseInvert"},
};

}  // namespace

SampleConverter polarityVariant(SampleConverter converter, bool invert) {
    // The copy pair is the last resort for anything not in the other pairs.
    for (size_t i = 1; i < std::size(pairs); ++i) {
        if (converter == pairs[i].plain || converter == pairs[i].inverted)
            return invert ? pairs[i].inverted : pairs[i].plain;
    }
    return invert ? pairs[0].inverted : pairs[0].plain;
}

SampleConverter applyPolarity(SampleConverter converter, bool hostInvert, bool sinkInvert) {
    const bool invert = hostInvert != sinkInvert;
    LogLine(6) << "Host Phase " << (hostInvert ? "Invert" : "Normal");
    LogLine(6) << "Play Phase " << (invert ? "Invert" : "Normal");
    return polarityVariant(converter, invert);
}

const char* converterName(SampleConverter converter) {
    for (const auto& pair : pairs) {
        if (converter == pair.plain) return pair.plainName;
        if (converter == pair.inverted) return pair.invertedName;
    }
    return "other";
}

}  // namespace VELMORA
