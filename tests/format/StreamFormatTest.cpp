// The format word: accessors, rate and channel setters, merge, validity, silence byte,
// connect-word category and the capability test.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "sync/StreamFormat.h"

using VELMORA::FormatCaps;
using SF = VELMORA::StreamFormat;

namespace {

constexpr uint64_t rate44100 = 0xAull << 32;    // family 0x2, multiplier x1
constexpr uint64_t rateDsd64 = 0x202ull << 32;  // family 0x2, multiplier x64
constexpr uint64_t pcmWord = 0x0000'000A'0000'0802ull;
constexpr uint64_t dsdWord = 0x0000'0202'02A1'0002ull;

TEST(StreamFormatWord, ChannelCodes) {
    const std::pair<uint64_t, uint32_t> codes[] = {{0x01, 1}, {0x02, 2}, {0x04, 4}, {0x08, 6}, {0x10, 8}, {0x20, 16}};
    for (auto [code, n] : codes) {
        EXPECT_EQ(SF(code | SF::typeInt16).channels(), n) << code;
        SF f(0xFF | SF::typeInt24 | rate44100);
        ASSERT_TRUE(f.setChannels(n));
        EXPECT_EQ(f.value(), code | SF::typeInt24 | rate44100);
    }
    for (uint64_t code : {0x00ull, 0x03ull, 0x40ull, 0x80ull, 0xFFull}) EXPECT_EQ(SF(code).channels(), 2u) << code;
    for (uint64_t n : {0ull, 3ull, 5ull, 7ull, 12ull, 32ull, (1ull << 32) + 2}) {
        SF f(pcmWord);
        EXPECT_FALSE(f.setChannels(n)) << n;
        EXPECT_EQ(f.value(), pcmWord);
    }
}

TEST(StreamFormatWord, SampleTypeSizesAndCategory) {
    struct Row { uint64_t word; uint32_t bits, bytes, frameBytes; uint8_t category; };
    const Row rows[] = {  // PCM with 6 channels, DSD and unknown types with 2
        {0x08 | 0x00100, 8, 1, 6, 1}, {0x08 | 0x00200, 16, 2, 12, 1}, {0x08 | 0x00400, 24, 3, 18, 1},
        {0x08 | 0x00800, 32, 4, 24, 1}, {0x08 | 0x01000, 64, 8, 48, 1}, {0x08 | 0x02000, 32, 4, 24, 2},
        {0x08 | 0x04000, 64, 8, 48, 2},
        {0x02 | SF::typeDsd1 | SF::dsdLsbFirst | SF::dsdWord32, 1, 4, 8, 8},  // container from the word code
        {0x02 | SF::typeDsd8 | SF::dsdLsbFirst | SF::dsdWord32, 8, 4, 8, 8},
        {0x02 | SF::typeDsd1 | SF::dsdLsbFirst | (1ull << 24), 1, 2, 4, 8},
        {0x02 | SF::typeDsd8 | SF::dsdLsbFirst | (1ull << 24), 8, 2, 4, 8},
        {0x02, 16, 2, 4, 4}, {0x02 | 0x08000, 16, 2, 4, 4}, {0x02 | 0x40000, 16, 2, 4, 4},  // unknown or combined
        {0x02 | 0x80000, 16, 2, 4, 4}, {0x02 | 0x00300, 16, 2, 4, 4}, {0x02 | 0x30000, 16, 2, 4, 4},
    };
    for (const Row& r : rows) {
        const SF f(r.word | rate44100);
        SCOPED_TRACE(testing::Message() << std::hex << r.word);
        EXPECT_EQ(std::tuple(f.bitsPerSample(), f.containerBytes(), f.frameBytes(), f.category()),
                  std::tuple(r.bits, r.bytes, r.frameBytes, r.category));
        if (r.category != 4) {
            EXPECT_EQ(f.isPcm(), r.category != 8);
            EXPECT_EQ(f.isDsd(), r.category == 8);
        }
    }
}

TEST(StreamFormatRate, EveryAcceptedRateRoundTripsIntoItsBits) {
    std::vector<uint64_t> rates = {8000};
    for (int k = 0; k <= 12; ++k) rates.insert(rates.end(), {44100ull << k, 48000ull << k});
    const uint64_t others = 0xFFFF'0000'FFFF'FFFFull;  // everything outside bits 32..47
    for (uint64_t hz : rates) {
        SF f(others | (0x5ull << 32) | (0x3ull << 40));  // junk in the rate bits
        ASSERT_TRUE(f.setRate(hz)) << hz;
        const uint32_t base = hz == 8000 ? 8000 : hz % 44100 == 0 ? 44100 : 48000;
        const uint64_t multiplier = hz == 8000 ? 0 : hz / base;  // x2^k is bit k of the field
        EXPECT_EQ(f.value() & others, others) << hz;
        EXPECT_EQ(f.value() >> 32 & 0xFFFF, (base == 8000 ? 1u : base == 44100 ? 2u : 4u) | multiplier << 3) << hz;
        EXPECT_EQ(std::tuple(f.rate(), f.baseRate(), uint64_t{f.rateMultiplier()}), std::tuple(hz, base, multiplier));
    }
    for (uint64_t hz : {0ull, 1ull, 7999ull, 16000ull, 22050ull, 24000ull, 32000ull, 132300ull, 44100ull * 3,
                        48000ull * 6, 44100ull << 13, 48000ull << 13, (1ull << 32) + 44100, 44100ull * 4096 + 1}) {
        SF f(dsdWord);
        EXPECT_FALSE(f.setRate(hz)) << hz;
        EXPECT_EQ(f.value(), dsdWord) << hz;
    }
}

TEST(StreamFormatRate, ReadingOddRateBits) {
    struct Row { uint64_t family, multiplierBits, rate; uint32_t base, multiplier; };
    const Row rows[] = {
        {1, 0, 8000, 8000, 0}, {1, 1, 0, 0, 1},            // 8000 takes no multiplier
        {2, 0, 0, 44100, 0}, {4, 1u << 12, 48000u * 4096, 48000, 4096},
        {2, 3, 0, 44100, 0},                                // two multiplier bits
        {3, 1, 0, 0, 1}, {6, 2, 0, 0, 2}, {0, 2, 0, 0, 2},  // two family bits or none
    };
    for (const Row& r : rows) {
        const SF f((r.family << 32) | (r.multiplierBits << 35));
        EXPECT_EQ(std::tuple(f.rate(), f.baseRate(), f.rateMultiplier()), std::tuple(r.rate, r.base, r.multiplier))
            << r.family << " " << r.multiplierBits;
    }
}

TEST(StreamFormatWord, MergeReplacesOnlyGroupsThatOtherSets) {
    const uint64_t base = 0xABCD'000A'0000'0802ull;  // reserved bits set on purpose
    const uint64_t rows[][3] = {
        {base, 0, base},
        {base, 0x20, 0xABCD'000A'0000'0820ull},                                  // channels only
        {base, 0x02A10000, 0xABCD'000A'02A1'0002ull},                            // sample group as a whole
        {dsdWord, 0x0200, 0x0000'0202'0000'0202ull},                             // PCM type clears the layout
        {base, 0x1234'0000'0000'0000ull | (0x1ull << 32), 0xABCD'0001'0000'0802ull},  // reserved ignored
        {base, 0x0000'0014'0000'0401ull, 0xABCD'0014'0000'0401ull},              // all three groups
    };
    for (const auto& [start, other, expected] : rows) {
        SF f(start);
        f.merge(SF(other));
        EXPECT_EQ(f.value(), expected) << std::hex << other;
    }
}

TEST(StreamFormatWord, SilenceByte) {
    const std::pair<uint64_t, uint8_t> rows[] = {
        {pcmWord, 0x00}, {0x0000'000A'0000'4002ull, 0x00}, {0, 0x00},
        {0x0000'0202'0251'0002ull, 0x69}, {0x0000'0202'0291'0002ull, 0x69},  // LSB first
        {0x0000'0202'02A1'0002ull, 0x96}, {0x0000'0202'0261'0002ull, 0x96},  // MSB first
        {0x0000'0202'0001'0002ull, 0x96},                                    // no order bit
        {0x0000'0202'0012'0002ull, 0x69},                                    // 8-bit DSD, LSB
        {0x80000 | SF::dsdLsbFirst, 0x69}, {0x40000, 0x96},                  // any DSD type bit counts
    };
    for (const auto& [word, silence] : rows) EXPECT_EQ(SF(word).silenceByte(), silence) << std::hex << word;
}

TEST(StreamFormatValidity, PcmRules) {
    EXPECT_TRUE(SF(pcmWord).isValid());
    for (int bit = 20; bit <= 31; ++bit) EXPECT_FALSE(SF(pcmWord | (1ull << bit)).isValid()) << bit;
    // No condition on the rate of PCM, nor on the reserved bits.
    const uint64_t anyRateOrReserved[] = {pcmWord & ~SF::rateMask, pcmWord | 0x3ull << 32, pcmWord | 1ull << 60};
    for (uint64_t word : anyRateOrReserved) EXPECT_TRUE(SF(word).isValid()) << std::hex << word;
    for (uint64_t type : {0x100, 0x200, 0x400, 0x800, 0x1000, 0x2000, 0x4000})
        for (uint64_t ch : {0x01, 0x02, 0x04, 0x08, 0x10, 0x20})
            EXPECT_TRUE(SF(ch | type | rate44100).isValid()) << type << " " << ch;
    // Channel code and type must be single known codes.
    for (uint64_t ch : {0x00, 0x03, 0x06, 0x40, 0x80}) EXPECT_FALSE(SF((pcmWord & ~0xFFull) | ch).isValid()) << ch;
    for (uint64_t type : {0x0ull, 0x300ull, 0x8000ull, 0x40000ull, 0x80000ull, 0x10800ull})
        EXPECT_FALSE(SF((pcmWord & ~SF::typeMask) | type).isValid()) << type;
}

TEST(StreamFormatValidity, DsdRules) {
    const uint64_t dsd = 0x02 | SF::dsdMsbBig | rateDsd64;
    for (uint64_t word : {dsd, (dsd & ~SF::typeMask) | SF::typeDsd8, 0x02 | SF::dsdLsbLittle | rateDsd64,
                          0x02 | SF::dsdLsbBig | rateDsd64, 0x02 | SF::dsdMsbLittle | rateDsd64})
        EXPECT_TRUE(SF(word).isValid()) << std::hex << word;
    const uint64_t invalid[] = {dsd | SF::dsdLsbFirst, dsd & ~SF::dsdMsbFirst,       // both bit orders, none
                                dsd | SF::dsdLittleEndian, dsd & ~SF::dsdBigEndian,  // both byte orders, none
                                (dsd & ~SF::rateMask) | 0x102ull << 32, dsd & ~SF::rateMask};  // below DSD64
    for (uint64_t word : invalid) EXPECT_FALSE(SF(word).isValid()) << std::hex << word;
    for (uint64_t code : {0ull, 1ull, 3ull, 4ull, 0x82ull})
        EXPECT_FALSE(SF((dsd & ~SF::dsdWordCodeMask) | (code << 24)).isValid()) << code;
    const std::pair<uint64_t, bool> rates[] = {{3072000, true}, {2822400 * 8, true}, {1536000, false}};
    for (const auto& [hz, valid] : rates) {
        SF f(0x02 | SF::dsdMsbBig);
        ASSERT_TRUE(f.setRate(hz));
        EXPECT_EQ(f.isValid(), valid) << hz;
    }
}

TEST(FormatCapsSupports, EachSetUsesItsOwnMask) {
    // 1/2 ch; 16/24/32-bit; 44.1 and 48 kHz x1..x4. The DSD masks must not matter for PCM.
    const FormatCaps pcmCaps{0x0000'003E'0000'0E03ull, ~0ull, ~0ull};
    const std::pair<uint64_t, bool> pcm[] = {
        {pcmWord, true}, {0x0000'0024'0000'0201ull, true},  // 48000 x4, 1 ch, 16-bit
        {0x0000'000A'0000'0804ull, false}, {0x0000'000A'0000'1002ull, false},  // 4 channels, 64-bit int
        {0x0000'0042'0000'0802ull, false}, {0x0000'000A'0010'0802ull, false},  // 44100 x8, a bit outside
    };
    for (const auto& [word, supported] : pcm) EXPECT_EQ(pcmCaps.supports(word), supported) << std::hex << word;

    const uint64_t lsbLittle = 0x02 | SF::dsdLsbLittle | rateDsd64, msbBig = 0x02 | SF::dsdMsbBig | rateDsd64;
    FormatCaps caps{~0ull, lsbLittle, msbBig};  // the PCM mask is never consulted for DSD
    EXPECT_TRUE(caps.supports(lsbLittle) && caps.supports(msbBig));
    EXPECT_FALSE(caps.supports(0x02 | SF::dsdLsbBig | rateDsd64));
    EXPECT_FALSE(caps.supports(0x02 | SF::dsdMsbLittle | rateDsd64));
    // Without an order bit the union of both masks counts.
    const uint64_t noOrder = 0x02 | SF::typeDsd1 | SF::dsdLittleEndian | SF::dsdBigEndian | SF::dsdWord32 | rateDsd64;
    EXPECT_TRUE(caps.supports(noOrder));
    caps.dsdMsb = 0;
    EXPECT_FALSE(caps.supports(noOrder));
    // Neither a PCM nor a DSD type bit: never supported, even by full masks.
    const FormatCaps all{~0ull, ~0ull, ~0ull};
    EXPECT_FALSE(all.supports(0x0000'000A'0000'0002ull) || all.supports(0));
    EXPECT_TRUE(all.supports(0x0000'000A'0020'0002ull | SF::typeDsd8));
}

}  // namespace
