#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "driver/Interleave.h"

namespace {

// Two channels whose bytes tell channel and position apart.
struct Halves {
    std::vector<uint8_t> a, b;
    std::array<const uint8_t*, 2> sources() const { return {a.data(), b.data()}; }
    explicit Halves(std::size_t bytes) : a(bytes), b(bytes) {
        for (std::size_t i = 0; i < bytes; ++i) {
            a[i] = static_cast<uint8_t>(i);
            b[i] = static_cast<uint8_t>(0x80 + i);
        }
    }
};

std::vector<uint8_t> run(const InterleaveLayout& layout, const Halves& h, std::size_t extra = 0) {
    std::vector<uint8_t> block(interleavedBytes(layout) + extra, 0xEE);
    const auto sources = h.sources();
    interleaveBlock(layout, sources.data(), block.data(), block.size());
    return block;
}

TEST(Interleave, SixteenBitChannelsAlternate) {
    InterleaveLayout l{2, 1024, false, false, 2, false, 0x200};
    const Halves h(1024);
    const auto block = run(l, h);
    ASSERT_EQ(block.size(), 2048u);
    for (std::size_t i = 0; i < 512; ++i) {
        EXPECT_EQ(block[4 * i], h.a[2 * i]);
        EXPECT_EQ(block[4 * i + 1], h.a[2 * i + 1]);
        EXPECT_EQ(block[4 * i + 2], h.b[2 * i]);
        EXPECT_EQ(block[4 * i + 3], h.b[2 * i + 1]);
    }
}

TEST(Interleave, NarrowingTakesTheUpperBytes) {
    const Halves h(8);   // two 32-bit samples per channel
    InterleaveLayout to24{2, 8, false, false, 4, true, 0x400};
    auto block = run(to24, h);
    ASSERT_EQ(block.size(), 12u);
    EXPECT_EQ((std::vector<uint8_t>(block.begin(), block.begin() + 6)),
              (std::vector<uint8_t>{h.a[1], h.a[2], h.a[3], h.b[1], h.b[2], h.b[3]}));

    InterleaveLayout to16{2, 8, false, false, 4, true, 0x200};
    block = run(to16, h);
    ASSERT_EQ(block.size(), 8u);
    EXPECT_EQ((std::vector<uint8_t>(block.begin(), block.begin() + 4)),
              (std::vector<uint8_t>{h.a[2], h.a[3], h.b[2], h.b[3]}));

    InterleaveLayout to64{2, 8, false, false, 4, true, 0x1000};
    block = run(to64, h);
    ASSERT_EQ(block.size(), 32u);
    EXPECT_EQ((std::vector<uint8_t>(block.begin(), block.begin() + 8)),
              (std::vector<uint8_t>{0, 0, 0, 0, h.a[0], h.a[1], h.a[2], h.a[3]}));
}

TEST(Interleave, PackedAndWideSamplesAndDsd) {
    const Halves h(24);
    for (uint32_t width : {3u, 8u}) {
        InterleaveLayout l{2, 24, false, false, width, false, 0};
        const auto block = run(l, h);
        ASSERT_EQ(block.size(), 48u);
        for (std::size_t i = 0; i < 24 / width; ++i)
            for (std::size_t k = 0; k < width; ++k) {
                EXPECT_EQ(block[(2 * i) * width + k], h.a[i * width + k]);
                EXPECT_EQ(block[(2 * i + 1) * width + k], h.b[i * width + k]);
            }
    }
    InterleaveLayout bytes{2, 24, true, false, 0, false, 0};
    auto block = run(bytes, h);
    for (std::size_t i = 0; i < 24; ++i) EXPECT_EQ(block[2 * i + 1], h.b[i]);
    InterleaveLayout words{2, 24, true, true, 0, false, 0};
    block = run(words, h);
    EXPECT_EQ(block[4], h.b[0]);
    EXPECT_EQ(block[8], h.a[4]);
}

TEST(Interleave, NeverWritesPastTheBlockOrCopiesUnknownWidths) {
    const Halves h(1024);
    InterleaveLayout l{2, 1024, false, false, 4, false, 0x800};
    std::vector<uint8_t> small(100, 0xEE);
    const auto sources = h.sources();
    interleaveBlock(l, sources.data(), small.data(), 96);
    EXPECT_EQ(small[95], h.b[47]);
    EXPECT_EQ(small[96], 0xEE);

    InterleaveLayout odd{2, 1024, false, false, 5, false, 0};
    EXPECT_EQ(interleavedBytes(odd), 0u);
    std::vector<uint8_t> untouched(64, 0xEE);
    interleaveBlock(odd, sources.data(), untouched.data(), untouched.size());
    EXPECT_EQ(untouched, std::vector<uint8_t>(64, 0xEE));
}

}  // namespace
