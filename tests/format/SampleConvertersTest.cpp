// Each converter against a byte-by-byte reference on random data, at every small
// length and alignment; and the polarity switch.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "sync/SampleConverters.h"

using VELMORA::SampleConverter;
namespace converters = VELMORA::converters;

namespace {

uint8_t reverseBits(uint8_t b) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
        if (b & (1u << i)) r = static_cast<uint8_t>(r | (1u << (7 - i)));
    return r;
}

// Reference: what each destination byte must be; `words` converters write only
// whole 32-bit words, the others every byte.
struct Reference {
    const char* name;
    SampleConverter converter;
    bool swap;
    bool reverse;
    bool invert;
    bool words;
};

const Reference references[] = {
    {"copy", converters::copy, false, false, false, false},
    {"invert", converters::invert, false, false, true, false},
    {"swap32", converters::swap32, true, false, false, true},
    {"swap32Invert", converters::swap32Invert, true, false, true, true},
    {"swap32BitReverse", converters::swap32BitReverse, true, true, false, true},
    {"swap32BitReverseInvert", converters::swap32BitReverseInvert, true, true, true, true},
    {"bitReverse", converters::bitReverse, false, true, false, true},
    {"bitReverseInvert", converters::bitReverseInvert, false, true, true, true},
};

constexpr uint8_t untouched = 0xA5;

std::vector<uint8_t> expected(const Reference& ref, const uint8_t* src, size_t n) {
    std::vector<uint8_t> out(n, untouched);
    const size_t written = ref.words ? n / 4 * 4 : n;
    for (size_t i = 0; i < written; ++i) {
        uint8_t b = ref.swap ? src[i / 4 * 4 + (3 - i % 4)] : src[i];
        if (ref.reverse) b = reverseBits(b);
        if (ref.invert) b = static_cast<uint8_t>(~b);
        out[i] = b;
    }
    return out;
}

TEST(SampleConverters, MatchReferenceAtEveryLengthAndAlignment) {
    std::mt19937 random(12345);
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 40; ++n) lengths.push_back(n);
    for (size_t n : {1020u, 1021u, 1022u, 1023u, 1428u, 4096u, 4097u, 4098u, 4099u}) lengths.push_back(n);

    std::vector<uint8_t> source(4099 + 8), destination(4099 + 8);
    for (const Reference& ref : references) {
        SCOPED_TRACE(ref.name);
        EXPECT_EQ(std::string(VELMORA::converterName(ref.converter)), ref.name);
        for (size_t n : lengths) {
            for (size_t srcOffset : {0u, 1u, 3u}) {
                for (size_t dstOffset : {0u, 2u, 5u}) {
                    for (auto& b : source) b = static_cast<uint8_t>(random());
                    std::fill(destination.begin(), destination.end(), untouched);
                    ref.converter(destination.data() + dstOffset, source.data() + srcOffset, n);
                    const auto want = expected(ref, source.data() + srcOffset, n);
                    const std::vector<uint8_t> got(destination.begin() + dstOffset,
                                                   destination.begin() + dstOffset + n);
                    ASSERT_EQ(got, want) << "n=" << n << " src+" << srcOffset << " dst+" << dstOffset;
                    // Nothing outside [0, n) of the destination is touched.
                    for (size_t i = 0; i < dstOffset; ++i) ASSERT_EQ(destination[i], untouched);
                    for (size_t i = dstOffset + n; i < destination.size(); ++i)
                        ASSERT_EQ(destination[i], untouched) << "n=" << n;
                }
            }
        }
    }
}

TEST(SampleConverters, KnownValues) {
    const uint8_t in[6] = {0x01, 0x02, 0x80, 0xF0, 0x11, 0x22};
    uint8_t out[6];

    std::fill(out, out + 6, untouched);
    converters::swap32(out, in, 6);   // the first 4 bytes only
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{0xF0, 0x80, 0x02, 0x01, untouched, untouched}));

    converters::swap32BitReverse(out, in, 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0x0F, 0x01, 0x40, 0x80}));

    converters::bitReverseInvert(out, in, 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0x7F, 0xBF, 0xFE, 0xF0}));

    converters::invert(out, in, 5);   // every byte, any count
    EXPECT_EQ(std::vector<uint8_t>(out, out + 5), (std::vector<uint8_t>{0xFE, 0xFD, 0x7F, 0x0F, 0xEE}));

    // Reversing a byte's bits twice is the identity, for every byte value.
    std::vector<uint8_t> all(256), once(256), twice(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    converters::bitReverse(once.data(), all.data(), 256);
    converters::bitReverse(twice.data(), once.data(), 256);
    EXPECT_EQ(twice, all);
    EXPECT_EQ(once[0x01], 0x80);
    EXPECT_EQ(once[0x69], 0x96);   // the DSD silence patterns of the two bit orders
}

TEST(SampleConverters, PolarityVariantStaysWithinItsPair) {
    struct Pair { SampleConverter plain, inverted; };
    const Pair pairs[] = {
        {converters::copy, converters::invert},
        {converters::swap32, converters::swap32Invert},
        {converters::swap32BitReverse, converters::swap32BitReverseInvert},
        {converters::bitReverse, converters::bitReverseInvert},
    };
    for (const Pair& p : pairs) {
        for (SampleConverter from : {p.plain, p.inverted}) {
            EXPECT_EQ(VELMORA::polarityVariant(from, false), p.plain) << VELMORA::converterName(from);
            EXPECT_EQ(VELMORA::polarityVariant(from, true), p.inverted) << VELMORA::converterName(from);
        }
    }
    // A converter outside the pairs falls back to the copy pair.
    SampleConverter foreign = [](void*, const void*, size_t) {};
    EXPECT_EQ(VELMORA::polarityVariant(foreign, false), converters::copy);
    EXPECT_EQ(VELMORA::polarityVariant(foreign, true), converters::invert);
    EXPECT_EQ(std::string(VELMORA::converterName(foreign)), "other");
}

TEST(SampleConverters, ApplyPolarityUsesHostXorSinkAndLogsBothPhases) {
    struct Case { bool host, sink; SampleConverter want; const char* hostText; const char* playText; };
    const Case cases[] = {
        {false, false, converters::swap32, "Host Phase Normal", "Play Phase Normal"},
        {true, false, converters::swap32Invert, "Host Phase Invert", "Play Phase Invert"},
        {false, true, converters::swap32Invert, "Host Phase Normal", "Play Phase Invert"},
        {true, true, converters::swap32, "Host Phase Invert", "Play Phase Normal"},
    };
    for (const Case& c : cases) {
        for (SampleConverter from : {converters::swap32, converters::swap32Invert}) {
            logcapture::reset(6);
            EXPECT_EQ(VELMORA::applyPolarity(from, c.host, c.sink), c.want) << c.host << c.sink;
            EXPECT_EQ(logcapture::lines(), (std::vector<std::string>{c.hostText, c.playText}));
        }
    }
    // Host Invert and a sink asking for inversion: the plain converter stays.
    EXPECT_EQ(VELMORA::applyPolarity(converters::copy, true, true), converters::copy);
    EXPECT_EQ(VELMORA::applyPolarity(converters::invert, true, true), converters::copy);
    logcapture::reset(-1);
}

}  // namespace
