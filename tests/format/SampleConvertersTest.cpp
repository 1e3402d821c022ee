// Each converter against a byte-by-byte reference on random data, at every small length
// and alignment; and the polarity switch.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "log/LogCapture.h"
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

// Reference: what each destination byte must be; `words` converters write only whole
// 32-bit words, the others every byte.
struct Reference {
    const char* name;
    SampleConverter converter;
    bool swap, reverse, invert, words;
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
    std::vector<size_t> lengths = {1020, 1021, 1022, 1023, 1428, 4096, 4097, 4098, 4099};
    for (size_t n = 0; n <= 40; ++n) lengths.push_back(n);

    std::vector<uint8_t> source(4099 + 8), destination(4099 + 8);
    for (const Reference& ref : references) {
        SCOPED_TRACE(ref.name);
        EXPECT_EQ(std::string(VELMORA::converterName(ref.converter)), ref.name);
        for (size_t n : lengths)
            for (size_t srcOffset : {0u, 1u, 3u})
                for (size_t dstOffset : {0u, 2u, 5u}) {
                    for (auto& b : source) b = static_cast<uint8_t>(random());
                    std::fill(destination.begin(), destination.end(), untouched);
                    ref.converter(destination.data() + dstOffset, source.data() + srcOffset, n);
                    // The reference bytes inside [0, n) of the destination, nothing touched outside.
                    std::vector<uint8_t> want(dstOffset, untouched);
                    const auto converted = expected(ref, source.data() + srcOffset, n);
                    want.insert(want.end(), converted.begin(), converted.end());
                    want.resize(destination.size(), untouched);
                    ASSERT_EQ(destination, want) << "n=" << n << " src+" << srcOffset << " dst+" << dstOffset;
                }
    }
}

// Host and sink inversion cancel; whatever converter the format chose, its pair's other
// member is taken when the stream must be complemented.
TEST(SampleConverters, ApplyPolarityStaysWithinThePairAndLogsBothPhases) {
    struct Pair { SampleConverter plain, inverted; };
    const Pair pairs[] = {
        {converters::copy, converters::invert},
        {converters::swap32, converters::swap32Invert},
        {converters::swap32BitReverse, converters::swap32BitReverseInvert},
        {converters::bitReverse, converters::bitReverseInvert},
    };
    struct Case { bool host, sink; const char* hostText; const char* playText; };
    const Case cases[] = {
        {false, false, "Host Phase Normal", "Play Phase Normal"},
        {true, false, "Host Phase Invert", "Play Phase Invert"},
        {false, true, "Host Phase Normal", "Play Phase Invert"},
        {true, true, "Host Phase Invert", "Play Phase Normal"},
    };
    logtest::LogCapture log;
    for (const Case& c : cases)
        for (const Pair& p : pairs)
            for (SampleConverter from : {p.plain, p.inverted}) {
                log.reset(6);
                EXPECT_EQ(VELMORA::applyPolarity(from, c.host, c.sink), c.host != c.sink ? p.inverted : p.plain)
                    << VELMORA::converterName(from) << " host " << c.host << " sink " << c.sink;
                EXPECT_EQ(log.lines(), (std::vector<std::string>{c.hostText, c.playText}));
            }
    // A converter outside the pairs falls back to the copy pair.
    SampleConverter foreign = [](void*, const void*, size_t) {};
    EXPECT_EQ(VELMORA::polarityVariant(foreign, false), converters::copy);
    EXPECT_EQ(VELMORA::polarityVariant(foreign, true), converters::invert);
    EXPECT_EQ(std::string(VELMORA::converterName(foreign)), "other");
}

}  // namespace
