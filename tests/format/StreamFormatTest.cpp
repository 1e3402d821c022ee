// The format word: accessors, rate and channel setters, merge, validity, silence
// byte, connect-word category and the capability test.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sync/StreamFormat.h"

using VELMORA::FormatCaps;
using VELMORA::StreamFormat;

namespace {

constexpr uint64_t rate44100 = 0xAull << 32;          // family 0x2, multiplier x1
constexpr uint64_t rateDsd64 = 0x202ull << 32;        // family 0x2, multiplier x64
constexpr uint64_t rateDsd32 = 0x102ull << 32;        // family 0x2, multiplier x32

TEST(StreamFormatWord, WorkedExamples) {
    const StreamFormat pcm(0x0000'000A'0000'0802ull);
    EXPECT_EQ(pcm.channels(), 2u);
    EXPECT_EQ(pcm.bitsPerSample(), 32u);
    EXPECT_EQ(pcm.containerBytes(), 4u);
    EXPECT_EQ(pcm.frameBytes(), 8u);
    EXPECT_EQ(pcm.rate(), 44100u);
    EXPECT_TRUE(pcm.isValid());

    // Built from parts, the same word comes out.
    StreamFormat built(StreamFormat::typeInt32);
    ASSERT_TRUE(built.setChannels(2));
    ASSERT_TRUE(built.setRate(44100));
    EXPECT_EQ(built.value(), 0x0000'000A'0000'0802ull);

    const StreamFormat dsd64(0x0000'0202'02A1'0002ull);
    EXPECT_EQ(dsd64.rate(), 2822400u);
    EXPECT_TRUE(dsd64.isDsd());
    EXPECT_FALSE(dsd64.isPcm());
    EXPECT_TRUE(dsd64.isValid());
    StreamFormat dsdBuilt(0x02A10000ull);
    ASSERT_TRUE(dsdBuilt.setChannels(2));
    ASSERT_TRUE(dsdBuilt.setRate(2822400));
    EXPECT_EQ(dsdBuilt.value(), dsd64.value());

    StreamFormat dsdHalf = dsd64;
    ASSERT_TRUE(dsdHalf.setRate(1411200));
    EXPECT_EQ(dsdHalf.value(), 0x0000'0102'02A1'0002ull);
    EXPECT_FALSE(dsdHalf.isValid());
}

TEST(StreamFormatWord, ChannelsFromCodeAndSetChannels) {
    const std::pair<uint64_t, uint32_t> codes[] = {{0x01, 1}, {0x02, 2}, {0x04, 4},
                                                   {0x08, 6}, {0x10, 8}, {0x20, 16}};
    for (auto [code, n] : codes) {
        EXPECT_EQ(StreamFormat(code | StreamFormat::typeInt16).channels(), n) << code;
        StreamFormat f(0xFF | StreamFormat::typeInt24 | rate44100);
        ASSERT_TRUE(f.setChannels(n));
        EXPECT_EQ(f.value(), code | StreamFormat::typeInt24 | rate44100);
    }
    for (uint64_t code : {0x00ull, 0x03ull, 0x40ull, 0x80ull, 0xFFull})
        EXPECT_EQ(StreamFormat(code).channels(), 2u) << code;
    for (uint64_t n : {0ull, 3ull, 5ull, 7ull, 12ull, 32ull, (1ull << 32) + 2}) {
        StreamFormat f(0x0000'000A'0000'0804ull);
        EXPECT_FALSE(f.setChannels(n)) << n;
        EXPECT_EQ(f.value(), 0x0000'000A'0000'0804ull);
    }
}

TEST(StreamFormatWord, SampleTypeSizes) {
    struct Row { uint64_t type; uint32_t bits; uint32_t bytes; uint8_t category; };
    const Row rows[] = {
        {0x00100, 8, 1, 1}, {0x00200, 16, 2, 1}, {0x00400, 24, 3, 1}, {0x00800, 32, 4, 1},
        {0x01000, 64, 8, 1}, {0x02000, 32, 4, 2}, {0x04000, 64, 8, 2},
    };
    for (const Row& r : rows) {
        const StreamFormat f(0x08 | r.type | rate44100);   // 6 channels
        EXPECT_EQ(f.bitsPerSample(), r.bits) << std::hex << r.type;
        EXPECT_EQ(f.containerBytes(), r.bytes) << std::hex << r.type;
        EXPECT_EQ(f.frameBytes(), r.bytes * 6) << std::hex << r.type;
        EXPECT_EQ(f.category(), r.category) << std::hex << r.type;
        EXPECT_TRUE(f.isPcm());
        EXPECT_FALSE(f.isDsd());
    }
    // DSD: container follows the word code.
    for (uint64_t type : {StreamFormat::typeDsd1, StreamFormat::typeDsd8}) {
        const StreamFormat words32(0x02 | type | StreamFormat::dsdLsbFirst | StreamFormat::dsdWord32);
        const StreamFormat otherCode(0x02 | type | StreamFormat::dsdLsbFirst | (1ull << 24));
        EXPECT_EQ(words32.containerBytes(), 4u);
        EXPECT_EQ(otherCode.containerBytes(), 2u);
        EXPECT_EQ(words32.frameBytes(), 8u);
        EXPECT_EQ(words32.category(), 8);
        EXPECT_TRUE(words32.isDsd());
    }
    EXPECT_EQ(StreamFormat(0x02 | StreamFormat::typeDsd1).bitsPerSample(), 1u);
    EXPECT_EQ(StreamFormat(0x02 | StreamFormat::typeDsd8).bitsPerSample(), 8u);
    // Unknown or combined types read as 16 bits in 2 bytes, category "other".
    for (uint64_t type : {0x0ull, 0x08000ull, 0x40000ull, 0x80000ull, 0x00300ull, 0x30000ull}) {
        const StreamFormat f(0x02 | type);
        EXPECT_EQ(f.bitsPerSample(), 16u) << std::hex << type;
        EXPECT_EQ(f.containerBytes(), 2u) << std::hex << type;
        EXPECT_EQ(f.category(), 4) << std::hex << type;
    }
}

TEST(StreamFormatRate, EveryAcceptedRateRoundTrips) {
    std::vector<uint64_t> rates = {8000};
    for (int k = 0; k <= 12; ++k) {
        rates.push_back(44100ull << k);
        rates.push_back(48000ull << k);
    }
    ASSERT_EQ(rates.size(), 27u);
    EXPECT_EQ(rates.back(), 196608000u);
    const uint64_t others = 0xFFFF'0000'FFFF'FFFFull;   // everything outside bits 32..47
    for (uint64_t hz : rates) {
        StreamFormat f(others | (0x5ull << 32) | (0x3ull << 40));   // junk in the rate bits
        ASSERT_TRUE(f.setRate(hz)) << hz;
        EXPECT_EQ(f.value() & others, others) << hz;
        EXPECT_EQ(f.rate(), hz);
        const uint64_t family = (f.value() >> 32) & 7;
        const uint64_t multiplier = (f.value() >> 35) & 0x1FFF;
        if (hz == 8000) {
            EXPECT_EQ(family, 1u);
            EXPECT_EQ(multiplier, 0u);
            EXPECT_EQ(f.baseRate(), 8000u);
            EXPECT_EQ(f.rateMultiplier(), 0u);
        } else {
            const uint32_t base = hz % 44100 == 0 ? 44100 : 48000;
            EXPECT_EQ(family, base == 44100 ? 2u : 4u);
            EXPECT_EQ(f.baseRate(), base);
            EXPECT_EQ(f.rateMultiplier(), hz / base);
            EXPECT_EQ(multiplier, hz / base);   // one-hot x2^k is bit k of the field
        }
    }
}

TEST(StreamFormatRate, RefusedRatesLeaveTheWordAlone) {
    const uint64_t word = 0x0000'0202'02A1'0002ull;
    for (uint64_t hz : {0ull, 1ull, 7999ull, 16000ull, 22050ull, 24000ull, 32000ull, 132300ull,
                        44100ull * 3, 48000ull * 6, 44100ull << 13, 48000ull << 13,
                        (1ull << 32) + 44100, 44100ull * 4096 + 1}) {
        StreamFormat f(word);
        EXPECT_FALSE(f.setRate(hz)) << hz;
        EXPECT_EQ(f.value(), word) << hz;
    }
}

TEST(StreamFormatRate, ReadingOddRateBits) {
    auto fmt = [](uint64_t family, uint64_t multiplierBits) {
        return StreamFormat((family << 32) | (multiplierBits << 35));
    };
    EXPECT_EQ(fmt(1, 0).rate(), 8000u);
    EXPECT_EQ(fmt(1, 1).rate(), 0u);          // 8000 family takes no multiplier
    EXPECT_EQ(fmt(1, 1).baseRate(), 0u);
    EXPECT_EQ(fmt(1, 1).rateMultiplier(), 1u);
    EXPECT_EQ(fmt(2, 0).rate(), 0u);          // no multiplier
    EXPECT_EQ(fmt(2, 0).baseRate(), 44100u);
    EXPECT_EQ(fmt(4, 1u << 12).rate(), 48000u * 4096);
    EXPECT_EQ(fmt(2, 3).rate(), 0u);          // two multiplier bits
    EXPECT_EQ(fmt(2, 3).rateMultiplier(), 0u);
    EXPECT_EQ(fmt(3, 1).rate(), 0u);          // two family bits
    EXPECT_EQ(fmt(3, 1).baseRate(), 0u);
    EXPECT_EQ(fmt(6, 2).rate(), 0u);
    EXPECT_EQ(fmt(0, 2).rate(), 0u);
    EXPECT_EQ(fmt(0, 2).baseRate(), 0u);
    EXPECT_EQ(fmt(0, 2).rateMultiplier(), 2u);
}

TEST(StreamFormatWord, MergeReplacesOnlyGroupsThatOtherSets) {
    const StreamFormat base(0xABCD'000A'0000'0802ull);   // reserved bits set on purpose
    StreamFormat f = base;
    f.merge(StreamFormat(0));
    EXPECT_EQ(f.value(), base.value());

    f = base;
    f.merge(StreamFormat(0x20));                           // channels only
    EXPECT_EQ(f.value(), 0xABCD'000A'0000'0820ull);

    f = base;
    f.merge(StreamFormat(0x02A10000));                     // sample group as a whole
    EXPECT_EQ(f.value(), 0xABCD'000A'02A1'0002ull);

    f = StreamFormat(0x0000'0202'02A1'0002ull);
    f.merge(StreamFormat(0x0000'0000'0000'0200ull));       // PCM type clears the DSD layout
    EXPECT_EQ(f.value(), 0x0000'0202'0000'0202ull);

    f = base;
    f.merge(StreamFormat(0x1234'0000'0000'0000ull | (0x1ull << 32)));   // rate group; reserved ignored
    EXPECT_EQ(f.value(), 0xABCD'0001'0000'0802ull);

    f = base;
    f.merge(StreamFormat(0x0000'0014'0000'0401ull));       // all three groups
    EXPECT_EQ(f.value(), 0xABCD'0014'0000'0401ull);
}

TEST(StreamFormatWord, SilenceByte) {
    EXPECT_EQ(StreamFormat(0x0000'000A'0000'0802ull).silenceByte(), 0x00);
    EXPECT_EQ(StreamFormat(0x0000'000A'0000'4002ull).silenceByte(), 0x00);
    EXPECT_EQ(StreamFormat(0x0000'0202'0251'0002ull).silenceByte(), 0x69);   // LSB first
    EXPECT_EQ(StreamFormat(0x0000'0202'0291'0002ull).silenceByte(), 0x69);
    EXPECT_EQ(StreamFormat(0x0000'0202'02A1'0002ull).silenceByte(), 0x96);   // MSB first
    EXPECT_EQ(StreamFormat(0x0000'0202'0261'0002ull).silenceByte(), 0x96);
    EXPECT_EQ(StreamFormat(0x0000'0202'0001'0002ull).silenceByte(), 0x96);   // no order bit
    EXPECT_EQ(StreamFormat(0x0000'0202'0012'0002ull).silenceByte(), 0x69);   // 8-bit DSD, LSB
    EXPECT_EQ(StreamFormat(0).silenceByte(), 0x00);
}

TEST(StreamFormatValidity, PcmRules) {
    const uint64_t pcm = 0x0000'000A'0000'0802ull;
    EXPECT_TRUE(StreamFormat(pcm).isValid());
    for (int bit = 20; bit <= 31; ++bit)
        EXPECT_FALSE(StreamFormat(pcm | (1ull << bit)).isValid()) << bit;
    // No condition on the rate of PCM, nor on the reserved bits.
    EXPECT_TRUE(StreamFormat(pcm & ~StreamFormat::rateMask).isValid());
    EXPECT_TRUE(StreamFormat(pcm | (0x3ull << 32)).isValid());
    EXPECT_TRUE(StreamFormat(pcm | (1ull << 60)).isValid());
    // Every PCM type and channel code.
    for (uint64_t type : {0x100, 0x200, 0x400, 0x800, 0x1000, 0x2000, 0x4000})
        for (uint64_t ch : {0x01, 0x02, 0x04, 0x08, 0x10, 0x20})
            EXPECT_TRUE(StreamFormat(ch | type | rate44100).isValid()) << type << " " << ch;
    // Channel code and type must be single known codes.
    for (uint64_t ch : {0x00, 0x03, 0x06, 0x40, 0x80})
        EXPECT_FALSE(StreamFormat((pcm & ~0xFFull) | ch).isValid()) << ch;
    for (uint64_t type : {0x0ull, 0x300ull, 0x8000ull, 0x40000ull, 0x80000ull, 0x10800ull})
        EXPECT_FALSE(StreamFormat((pcm & ~StreamFormat::typeMask) | type).isValid()) << type;
}

TEST(StreamFormatValidity, DsdRules) {
    const uint64_t layout = StreamFormat::dsdMsbBig;
    const uint64_t dsd = 0x02 | layout | rateDsd64;
    EXPECT_TRUE(StreamFormat(dsd).isValid());
    EXPECT_TRUE(StreamFormat((dsd & ~StreamFormat::typeMask) | StreamFormat::typeDsd8).isValid());
    for (uint64_t l : {StreamFormat::dsdLsbLittle, StreamFormat::dsdLsbBig, StreamFormat::dsdMsbLittle})
        EXPECT_TRUE(StreamFormat(0x02 | l | rateDsd64).isValid()) << std::hex << l;

    EXPECT_FALSE(StreamFormat(dsd | StreamFormat::dsdLsbFirst).isValid());         // both orders
    EXPECT_FALSE(StreamFormat(dsd & ~StreamFormat::dsdMsbFirst).isValid());        // no order
    EXPECT_FALSE(StreamFormat(dsd | StreamFormat::dsdLittleEndian).isValid());     // both byte orders
    EXPECT_FALSE(StreamFormat(dsd & ~StreamFormat::dsdBigEndian).isValid());       // no byte order
    for (uint64_t code : {0ull, 1ull, 3ull, 4ull, 0x82ull})
        EXPECT_FALSE(StreamFormat((dsd & ~StreamFormat::dsdWordCodeMask) | (code << 24)).isValid()) << code;

    // Rate: at least DSD64.
    EXPECT_FALSE(StreamFormat(0x02 | layout | rateDsd32).isValid());
    EXPECT_FALSE(StreamFormat(0x02 | layout).isValid());
    StreamFormat high(0x02 | layout);
    ASSERT_TRUE(high.setRate(3072000));
    EXPECT_TRUE(high.isValid());
    ASSERT_TRUE(high.setRate(2822400 * 8));
    EXPECT_TRUE(high.isValid());
    ASSERT_TRUE(high.setRate(1536000));
    EXPECT_FALSE(high.isValid());
}

TEST(FormatCapsSupports, PcmIsASubsetOfThePcmMask) {
    FormatCaps caps;
    caps.pcm = 0x0000'003E'0000'0E03ull;   // 1/2 ch; 16/24/32-bit; 44.1 and 48 kHz x1..x4
    caps.dsdLsb = ~0ull;                   // other masks must not matter for PCM
    caps.dsdMsb = ~0ull;
    EXPECT_TRUE(caps.supports(0x0000'000A'0000'0802ull));
    EXPECT_TRUE(caps.supports(0x0000'0024'0000'0201ull));   // 48000 x4, 1 ch, 16-bit
    EXPECT_FALSE(caps.supports(0x0000'000A'0000'0804ull));  // 4 channels
    EXPECT_FALSE(caps.supports(0x0000'000A'0000'1002ull));  // 64-bit int
    EXPECT_FALSE(caps.supports(0x0000'0042'0000'0802ull));  // 44100 x8
    EXPECT_FALSE(caps.supports(0x0000'000A'0010'0802ull));  // any bit outside the mask
}

TEST(FormatCapsSupports, DsdUsesTheMaskOfItsBitOrder) {
    const uint64_t lsbLittle = 0x02 | StreamFormat::dsdLsbLittle | rateDsd64;
    const uint64_t msbBig = 0x02 | StreamFormat::dsdMsbBig | rateDsd64;
    FormatCaps caps;
    caps.pcm = ~0ull;                      // never consulted for DSD
    caps.dsdLsb = lsbLittle;
    caps.dsdMsb = msbBig;
    EXPECT_TRUE(caps.supports(lsbLittle));
    EXPECT_TRUE(caps.supports(msbBig));
    EXPECT_FALSE(caps.supports(0x02 | StreamFormat::dsdLsbBig | rateDsd64));
    EXPECT_FALSE(caps.supports(0x02 | StreamFormat::dsdMsbLittle | rateDsd64));
    // Without an order bit the union of both masks counts.
    const uint64_t noOrder = 0x02 | StreamFormat::typeDsd1 | StreamFormat::dsdLittleEndian |
                             StreamFormat::dsdBigEndian | StreamFormat::dsdWord32 | rateDsd64;
    EXPECT_TRUE(caps.supports(noOrder));
    caps.dsdMsb = 0;
    EXPECT_FALSE(caps.supports(noOrder));
    // Neither a PCM nor a DSD type bit: never supported, even by full masks.
    const FormatCaps all{~0ull, ~0ull, ~0ull};
    EXPECT_FALSE(all.supports(0x0000'000A'0000'0002ull));
    EXPECT_FALSE(all.supports(0));
    EXPECT_TRUE(all.supports(0x0000'000A'0020'0002ull | StreamFormat::typeDsd8));
}

}  // namespace
