#include "sync/SampleConverters.h"

#include <cstdint>
#include <cstring>
#include <iterator>

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

}  // namespace

namespace converters {

void copy(void* destination, const void* source, size_t bytes) {
    if (bytes) std::memcpy(destination, source, bytes);
}

void invert(void* destination, const void* source, size_t bytes) {
    auto* d = static_cast<unsigned char*>(destination);
    const auto* s = static_cast<const unsigned char*>(source);
    const size_t words = bytes / 8;
    for (size_t i = 0; i < words; ++i) store64(d + 8 * i, ~load64(s + 8 * i));
    for (size_t i = words * 8; i < bytes; ++i) d[i] = static_cast<unsigned char>(~s[i]);
}

void swap32(void* destination, const void* source, size_t bytes) {
    forEachWord(destination, source, bytes,
                [](uint64_t v) { return swapHalves32(v); },
                [](uint32_t v) { return __builtin_bswap32(v); });
}

void swap32Invert(void* destination, const void* source, size_t bytes) {
    forEachWord(destination, source, bytes,
                [](uint64_t v) { return ~swapHalves32(v); },
                [](uint32_t v) { return ~__builtin_bswap32(v); });
}

void swap32BitReverse(void* destination, const void* source, size_t bytes) {
    forEachWord(destination, source, bytes,
                [](uint64_t v) { return reverseBitsInBytes(swapHalves32(v)); },
                [](uint32_t v) { return reverseBitsInBytes(__builtin_bswap32(v)); });
}

void swap32BitReverseInvert(void* destination, const void* source, size_t bytes) {
    forEachWord(destination, source, bytes,
                [](uint64_t v) { return ~reverseBitsInBytes(swapHalves32(v)); },
                [](uint32_t v) { return ~reverseBitsInBytes(__builtin_bswap32(v)); });
}

void bitReverse(void* destination, const void* source, size_t bytes) {
    forEachWord(destination, source, bytes,
                [](uint64_t v) { return reverseBitsInBytes(v); },
                [](uint32_t v) { return reverseBitsInBytes(v); });
}

void bitReverseInvert(void* destination, const void* source, size_t bytes) {
    forEachWord(destination, source, bytes,
                [](uint64_t v) { return ~reverseBitsInBytes(v); },
                [](uint32_t v) { return ~reverseBitsInBytes(v); });
}

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
