// The ring without a buffer worker: sizes, silence, what getNewStream answers.

#include "syncbuffer/TestRing.h"

using namespace syncbuffer_test;
using VELMORA::StreamFormat;

namespace {

StreamFormat dsd(uint64_t layout) {
    StreamFormat f(layout);
    f.setChannels(2);
    f.setRate(2822400);
    return f;
}

bool insideRing(const TestRing& ring, const VELMORA::StreamBlock& b) {
    for (const auto& block : ring.blocks) {
        if (b.data == block.data()) return true;
    }
    return false;
}

}  // namespace

TEST(RingSetup, BlockSizeAndSilenceFollowTheHostFormat) {
    TestRing ring;
    ring.configure(512, 4);
    EXPECT_EQ(ring.blockBytes, 2048u);
    EXPECT_EQ(ring.silenceByte(), 0x00);

    ring.hostFormat = dsd(StreamFormat::dsdLsbLittle);
    ring.configure(4096, 4);
    EXPECT_EQ(ring.blockBytes, 1024u);
    EXPECT_EQ(ring.silenceByte(), 0x69);
    ring.hostFormat = dsd(StreamFormat::dsdMsbBig);
    EXPECT_EQ(ring.silenceByte(), 0x96);
    // Any DSD type bit counts, not only the known types.
    EXPECT_EQ(TestRing::silenceByteFor(StreamFormat(0x80000 | StreamFormat::dsdLsbFirst)), 0x69);
    EXPECT_EQ(TestRing::silenceByteFor(StreamFormat(0x40000)), 0x96);
    EXPECT_EQ(TestRing::silenceByteFor(StreamFormat(StreamFormat::typeFloat32 | 0x02)), 0x00);
}

TEST(RingSetup, ConfigureLeavesAFullRingOfSilence) {
    TestRing ring;
    ring.hostFormat = dsd(StreamFormat::dsdMsbBig);
    ring.configure(4096, 3);
    ring.configure(4096, 5);   // a second configure resizes every block and refills it
    ASSERT_EQ(ring.blocks.size(), 5u);
    EXPECT_EQ(ring.filledBlocks(), 4u);
    for (const auto& block : ring.blocks) {
        ASSERT_EQ(block.size(), 1024u);
        EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](uint8_t b) { return b == 0x96; }));
    }
    EXPECT_EQ(ring.writeBlock.load(), 0u);
    EXPECT_EQ(ring.readBlock.load(), 1u);
}

TEST(RingHandOut, LeadingSilenceThenSilenceAtOnceWhenEmpty) {
    TestRing ring;
    ring.configure(512, 4);
    for (int i = 0; i < 3; ++i) {
        VELMORA::StreamBlock b;
        ASSERT_TRUE(ring.getNewStream(b));
        EXPECT_TRUE(insideRing(ring, b));
        EXPECT_EQ(b.size, 2048u);
        EXPECT_TRUE(filledWith(b, 0x00));
    }
    EXPECT_EQ(ring.filledBlocks(), 0u);

    VELMORA::StreamBlock b;
    ASSERT_TRUE(ring.getNewStream(b));
    EXPECT_FALSE(insideRing(ring, b));
    EXPECT_EQ(b.size, 2048u);
    EXPECT_TRUE(filledWith(b, 0x00));
    EXPECT_FALSE(ring.stopped.load());
}

TEST(RingHandOut, EmptyRingSilenceCarriesTheDsdByte) {
    for (auto [layout, value] : {std::pair<uint64_t, uint8_t>{StreamFormat::dsdLsbLittle, 0x69},
                                 {StreamFormat::dsdMsbBig, 0x96}}) {
        TestRing ring;
        ring.hostFormat = dsd(layout);
        ring.configure(4096, 2);
        VELMORA::StreamBlock b;
        ASSERT_TRUE(ring.getNewStream(b));   // the one block of leading silence
        ASSERT_TRUE(ring.getNewStream(b));   // empty: running silence
        EXPECT_EQ(b.size, 1024u);
        EXPECT_TRUE(filledWith(b, value));
        ring.stopping = true;                // empty while stopping: the other buffer
        ASSERT_TRUE(ring.getNewStream(b));
        EXPECT_EQ(b.size, 1024u);
        EXPECT_TRUE(filledWith(b, value));
    }
}

TEST(RingHandOut, EmptyRingWhileStoppingOrDisconnecting) {
    TestRing ring;
    ring.configure(512, 2);
    VELMORA::StreamBlock b;
    ASSERT_TRUE(ring.getNewStream(b));

    ring.stopping = true;
    ASSERT_TRUE(ring.getNewStream(b));
    EXPECT_TRUE(ring.stopped.load());
    EXPECT_EQ(b.size, 2048u);
    EXPECT_TRUE(filledWith(b, 0x00));

    ring.disconnecting = true;
    b = VELMORA::StreamBlock{reinterpret_cast<const uint8_t*>(&ring), 7};
    EXPECT_FALSE(ring.getNewStream(b));
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.size, 0u);
}

TEST(RingLife, ConnectNeedsAValidSinkFormat) {
    TestRing ring;
    ring.configure(512, 4);
    ring.sinkFormat = StreamFormat(0x03);   // no such channel code, no sample type
    EXPECT_FALSE(ring.connect());
    EXPECT_FALSE(ring.bufferWorker.joinable());
}
