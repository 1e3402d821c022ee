// The wire format and converter chosen for a host format, including every row of the DSD
// layout table, and the layouts those converters really produce.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>

#include "log/LogCapture.h"
#include "sync/StreamFormat.h"

using VELMORA::FormatCaps;
using VELMORA::SampleConverter;
using VELMORA::StreamFormat;
using VELMORA::chooseFormat;
namespace converters = VELMORA::converters;

namespace {

constexpr uint64_t rateDsd64 = 0x202ull << 32;
constexpr uint64_t stereo = 0x02;
constexpr uint64_t dsdMaskBase = 0x03 | (0x602ull << 32);  // 1/2 channels, DSD64 and DSD128

// Bits 8..31 of the four 32-bit-word layouts, and a mask naming both byte orders.
constexpr uint64_t LsbLittle = 0x02510000, LsbBig = 0x02910000;
constexpr uint64_t MsbLittle = 0x02610000, MsbBig = 0x02A10000;
constexpr uint64_t LsbBoth = 0x02D10000, MsbBoth = 0x02E10000;

uint64_t mask(uint64_t layout) { return layout ? dsdMaskBase | layout : 0; }
uint64_t dsd64(uint64_t layout) { return stereo | layout | rateDsd64; }

// The four bytes of a 32-bit DSD word holding 32 one-bit samples (samples[0] first in
// time) in the given layout, built bit by bit.
std::array<uint8_t, 4> packWord(const std::array<bool, 32>& samples, uint64_t layout) {
    const bool lsbFirst = layout & StreamFormat::dsdLsbFirst, little = layout & StreamFormat::dsdLittleEndian;
    uint32_t word = 0;
    for (int t = 0; t < 32; ++t)
        if (samples[t]) word |= 1u << (lsbFirst ? t : 31 - t);
    std::array<uint8_t, 4> bytes{};
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(word >> (little ? 8 * i : 24 - 8 * i));
    return bytes;
}

class FormatChoice : public ::testing::Test {
protected:
    logtest::LogCapture log{6};
};

TEST_F(FormatChoice, EveryDsdLayoutRowAndTheLayoutItsConverterProduces) {
    struct Row { uint64_t host, lsbCaps, msbCaps, target; SampleConverter converter; const char* message; };
    const Row rows[] = {  // lsbCaps/msbCaps: layout bits of the sink's masks (0 = empty mask)
        {LsbBig, LsbLittle, 0, LsbLittle, converters::swap32, "DSD COVERT LSB Big -> LSB littele"},
        {LsbBig, 0, MsbBig, MsbBig, converters::swap32BitReverse, "DSD COVERT LSB Big -> MSB Big"},
        {LsbBig, 0, MsbBoth, MsbLittle, converters::bitReverse, "DSD COVERT LSB Big -> MSB littele"},
        {LsbLittle, LsbBig, 0, LsbBig, converters::swap32, "DSD COVERT LSB littele -> LSB Big"},
        {LsbLittle, 0, MsbLittle, MsbLittle, converters::swap32BitReverse, "DSD COVERT LSB littele -> MSB littele"},
        {LsbLittle, 0, MsbBoth, MsbBig, converters::bitReverse, "DSD COVERT LSB littele -> MSB Big"},
        {MsbBig, 0, MsbLittle, MsbLittle, converters::swap32, "DSD COVERT MSB Big -> MSB littele"},
        {MsbBig, LsbBig, 0, LsbBig, converters::swap32BitReverse, "DSD COVERT MSB Big -> LSB Big"},
        {MsbBig, LsbBoth, 0, LsbLittle, converters::bitReverse, "DSD COVERT MSB Big -> LSB littele"},
        {MsbLittle, 0, MsbBig, MsbBig, converters::swap32, "DSD COVERT MSB littele -> MSB Big"},
        {MsbLittle, LsbLittle, 0, LsbLittle, converters::swap32BitReverse, "DSD COVERT MSB littele -> LSB littele"},
        {MsbLittle, LsbBoth, 0, LsbBig, converters::bitReverse, "DSD COVERT MSB littele -> LSB Big"},
    };
    std::mt19937 random(7);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.message);
        log.reset(6);
        const FormatCaps caps{0, mask(r.lsbCaps), mask(r.msbCaps)};
        ASSERT_FALSE(caps.supports(dsd64(r.host)));
        const auto choice = chooseFormat(caps, dsd64(r.host));
        ASSERT_TRUE(choice);
        EXPECT_EQ(choice->sinkFormat.value(), dsd64(r.target));
        EXPECT_EQ(choice->converter, r.converter) << VELMORA::converterName(choice->converter);
        EXPECT_EQ(log.lines(), std::vector<std::string>{r.message});
        for (int round = 0; round < 50; ++round) {
            std::array<bool, 32> samples{};
            for (bool& s : samples) s = random() & 1;
            const auto in = packWord(samples, r.host);
            std::array<uint8_t, 4> out{};
            choice->converter(out.data(), in.data(), 4);
            ASSERT_EQ(out, packWord(samples, r.target));
        }
    }
}

TEST_F(FormatChoice, SupportedFormatsAndEdgesOfTheLayoutTable) {
    const uint64_t dsd8Only = 0x03 | (0x202ull << 32) | StreamFormat::typeDsd8 | StreamFormat::dsdMsbFirst |
                              StreamFormat::dsdBigEndian | StreamFormat::dsdWord32;
    const uint64_t host16 = dsd64(StreamFormat::typeDsd1 | StreamFormat::dsdLsbFirst | StreamFormat::dsdBigEndian |
                                  (1ull << 24));
    const uint64_t noWords = dsdMaskBase | StreamFormat::typeDsd1 | StreamFormat::dsdMsbFirst |
                             StreamFormat::dsdBigEndian | StreamFormat::dsdLittleEndian;
    const uint64_t dsd8Host = dsd64(StreamFormat::typeDsd8 | StreamFormat::dsdMsbFirst |
                                    StreamFormat::dsdLittleEndian | StreamFormat::dsdWord32);
    struct Case {
        const char* what;
        FormatCaps caps;
        uint64_t host, target;  // target 0: no choice
        SampleConverter converter;
        const char* logged;     // nullptr: nothing
    };
    const FormatCaps pcm{0x0000'000A'0000'0A03ull, mask(LsbLittle), 0};   // 1/2 ch, 16/32-bit, 44.1 kHz
    const Case cases[] = {
        {"a supported PCM format is copied", pcm, 0x0000'000A'0000'0802ull, 0x0000'000A'0000'0802ull, converters::copy,
         nullptr},
        {"a supported DSD layout is copied", pcm, dsd64(LsbLittle), dsd64(LsbLittle), converters::copy, nullptr},
        {"24-bit PCM not offered", pcm, 0x0000'000A'0000'0402ull, 0, nullptr, nullptr},
        {"both masks take words: the host's own bit order wins", {0, mask(LsbLittle), mask(MsbBoth)},
         dsd64(LsbBig), dsd64(LsbLittle), converters::swap32, "DSD COVERT LSB Big -> LSB littele"},
        // The LSB mask offers only the host's own byte order for one channel: the first row
        // decides, although the MSB mask could have carried a bit-reversed stream.
        {"first applicable row decides", {0, 0x01 | (0x202ull << 32) | LsbBig, mask(MsbBoth)}, dsd64(LsbBig), 0,
         nullptr, "DSD COVERT LSB Big -> LSB littele"},
        {"target keeps the channel count", {0, 0, mask(MsbBig)}, 0x04 | LsbBig | rateDsd64, 0, nullptr,
         "DSD COVERT LSB Big -> MSB Big"},
        {"target keeps the rate (DSD256)", {0, 0, mask(MsbBig)}, stereo | LsbBig | (0x802ull << 32), 0, nullptr,
         "DSD COVERT LSB Big -> MSB Big"},
        {"DSD128", {0, 0, mask(MsbBig)}, stereo | LsbBig | (0x402ull << 32), stereo | MsbBig | (0x402ull << 32),
         converters::swap32BitReverse, "DSD COVERT LSB Big -> MSB Big"},
        {"no mask offers type 0x10000", {0, 0, dsd8Only}, dsd64(LsbBig), 0, nullptr, nullptr},
        {"host words not 32-bit", {0, 0, mask(MsbBoth)}, host16, 0, nullptr, nullptr},
        {"no mask has 32-bit words", {0, 0, noWords}, dsd64(LsbBig), 0, nullptr, nullptr},
        {"8-bit DSD host carried as 1-bit words", {0, 0, mask(MsbBig)}, dsd8Host, dsd64(MsbBig), converters::swap32,
         "DSD COVERT MSB littele -> MSB Big"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log.reset(6);
        const auto choice = chooseFormat(c.caps, c.host);
        ASSERT_EQ(choice.has_value(), c.target != 0);
        if (choice) {
            EXPECT_EQ(choice->sinkFormat.value(), c.target);
            EXPECT_EQ(choice->converter, c.converter) << VELMORA::converterName(choice->converter);
        }
        EXPECT_EQ(log.lines(), c.logged ? std::vector<std::string>{c.logged} : std::vector<std::string>{});
    }
    log.reset(4);  // below level 6 nothing is logged
    EXPECT_TRUE(chooseFormat(FormatCaps{0, 0, mask(MsbBig)}, dsd64(LsbBig)));
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
