// Interleaving host halves into blocks: every sample width, narrowing and widening byte
// choices, DSD bytes, and the block's bounds.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "driver/Interleave.h"

namespace {

// Two channels whose bytes tell channel and position apart.
struct Halves {
    std::vector<uint8_t> a, b;
    explicit Halves(std::size_t bytes) : a(bytes), b(bytes) {
        for (std::size_t i = 0; i < bytes; ++i) {
            a[i] = static_cast<uint8_t>(i);
            b[i] = static_cast<uint8_t>(0x80 + i);
        }
    }
    std::array<const uint8_t*, 2> sources() const { return {a.data(), b.data()}; }
};

std::vector<uint8_t> run(const InterleaveLayout& layout, const Halves& h) {
    std::vector<uint8_t> block(interleavedBytes(layout), 0xEE);
    const auto sources = h.sources();
    interleaveBlock(layout, sources.data(), block.data(), block.size());
    return block;
}

// DSD bytes alternate like 1-byte samples (DSD in 32-bit words: the driver's DSD block test
// checks every word).
TEST(Interleave, WholeSamplesOfEveryWidthAndDsdBytesAlternate) {
    const Halves h(24);
    for (uint32_t width : {1u, 2u, 3u, 4u, 8u}) {
        SCOPED_TRACE(width);
        const bool dsd = width == 1;
        const auto block = run({2, 24, dsd, false, dsd ? 0 : width, false, 0}, h);
        ASSERT_EQ(block.size(), 48u);
        for (std::size_t i = 0; i < 24 / width; ++i)
            for (std::size_t k = 0; k < width; ++k) {
                EXPECT_EQ(block[(2 * i) * width + k], h.a[i * width + k]);
                EXPECT_EQ(block[(2 * i + 1) * width + k], h.b[i * width + k]);
            }
    }
}

TEST(Interleave, ConvertedHostSamplesKeepTheirUpperBytes) {
    const Halves h(8);   // two 32-bit samples per channel
    struct Case {
        uint64_t pcmFormat;
        std::size_t blockBytes;
        std::vector<uint8_t> firstFrame;
    };
    const Case cases[] = {
        {0x400, 12, {h.a[1], h.a[2], h.a[3], h.b[1], h.b[2], h.b[3]}},
        {0x200, 8, {h.a[2], h.a[3], h.b[2], h.b[3]}},
        {0x1000, 32, {0, 0, 0, 0, h.a[0], h.a[1], h.a[2], h.a[3], 0, 0, 0, 0, h.b[0], h.b[1], h.b[2], h.b[3]}},
        {0x800, 16, {h.a[0], h.a[1], h.a[2], h.a[3], h.b[0], h.b[1], h.b[2], h.b[3]}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pcmFormat);
        const auto block = run({2, 8, false, false, 4, true, c.pcmFormat}, h);
        ASSERT_EQ(block.size(), c.blockBytes);
        EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + c.firstFrame.size()), c.firstFrame);
    }
}

TEST(Interleave, NeverWritesPastTheBlockOrCopiesUnknownWidths) {
    const Halves h(1024);
    const auto sources = h.sources();
    std::vector<uint8_t> small(100, 0xEE);
    interleaveBlock({2, 1024, false, false, 4, false, 0x800}, sources.data(), small.data(), 96);
    EXPECT_EQ(small[95], h.b[47]);
    EXPECT_EQ(small[96], 0xEE);

    const InterleaveLayout odd{2, 1024, false, false, 5, false, 0};
    EXPECT_EQ(interleavedBytes(odd), 0u);
    std::vector<uint8_t> untouched(64, 0xEE);
    interleaveBlock(odd, sources.data(), untouched.data(), untouched.size());
    EXPECT_EQ(untouched, std::vector<uint8_t>(64, 0xEE));
}

}  // namespace
