// The ring without a buffer worker: sizes, silence, what getNewStream answers.

#include <algorithm>

#include "log/LogLine.h"
#include "syncbuffer/TestRing.h"

using namespace syncbuffer_test;
using VELMORA::StreamFormat;
namespace counter = VELMORA::counter;

namespace {

bool insideRing(const TestRing& ring, const VELMORA::StreamBlock& b) {
    return std::any_of(ring.blocks.begin(), ring.blocks.end(), [&](const auto& x) { return b.data == x.data(); });
}

}  // namespace

// With the log level at 6 the ring also counts what it hands out: its fill after each block,
// and the silence that went out because it ran empty (not the silence of a stop).
TEST(Ring, SilenceFollowsTheHostFormatThroughEveryKindOfHandOut) {
    setLogLevel(6);
    const struct {
        const char* name;
        StreamFormat format;
        uint32_t framesPerBlock;
        uint64_t blockBytes;
        uint8_t silence;
    } formats[] = {
        {"PCM 16-bit", StreamFormat(pcm16Stereo), 512, 2048, 0x00},
        {"DSD LSB first", StreamFormat(dsd64Stereo | StreamFormat::dsdLsbLittle), 4096, 1024, 0x69},
        {"DSD MSB first", StreamFormat(dsd64Stereo | StreamFormat::dsdMsbBig), 4096, 1024, 0x96},
    };
    for (const auto& f : formats) {
        SCOPED_TRACE(f.name);
        TestRing ring;
        ring.hostFormat = f.format;
        ring.configure(f.framesPerBlock * 2, 3);
        ring.configure(f.framesPerBlock, 4);   // a second configure resizes every block and refills it
        ASSERT_EQ(ring.blocks.size(), 4u);
        EXPECT_EQ(ring.blockBytes, f.blockBytes);
        EXPECT_EQ(ring.silenceByte(), f.silence);
        for (const auto& block : ring.blocks) {
            ASSERT_EQ(block.size(), f.blockBytes);
            EXPECT_TRUE(std::all_of(block.begin(), block.end(), [&](uint8_t b) { return b == f.silence; }));
        }
        // All but one block are ready: the leading silence.
        EXPECT_EQ(ring.filledBlocks(), 3u);
        EXPECT_EQ(ring.writeBlock.load(), 0u);
        EXPECT_EQ(ring.readBlock.load(), 1u);
        VELMORA::StreamBlock b;
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(ring.getNewStream(b));
            EXPECT_TRUE(insideRing(ring, b));
            EXPECT_EQ(b.size, f.blockBytes);
            EXPECT_EQ(ring.counters.get(counter::ringFill), 2 - i);
        }
        EXPECT_EQ(ring.filledBlocks(), 0u);

        // Empty: silence at once, from outside the ring.
        ASSERT_TRUE(ring.getNewStream(b));
        EXPECT_FALSE(insideRing(ring, b));
        EXPECT_EQ(b.size, f.blockBytes);
        EXPECT_TRUE(filledWith(b, f.silence));
        EXPECT_FALSE(ring.stopped.load());
        EXPECT_EQ(ring.counters.get(counter::silentBlocks), 1);

        // Empty while stopping: silence that marks the stop.
        ring.stopping = true;
        ASSERT_TRUE(ring.getNewStream(b));
        EXPECT_TRUE(ring.stopped.load());
        EXPECT_EQ(b.size, f.blockBytes);
        EXPECT_TRUE(filledWith(b, f.silence));
        EXPECT_EQ(ring.counters.get(counter::silentBlocks), 1);

        // Disconnecting while the session still streams (disconnect has not yet moved it
        // on): silence, so that the worker still sends its final packet and closes.
        ring.disconnecting = true;
        ring.state = VELMORA::stateStreaming;
        ASSERT_TRUE(ring.getNewStream(b));
        EXPECT_TRUE(filledWith(b, f.silence));
        // Empty while disconnecting: no data.
        ring.state = VELMORA::stateDisconnecting;
        b = VELMORA::StreamBlock{reinterpret_cast<const uint8_t*>(&ring), 7};
        EXPECT_FALSE(ring.getNewStream(b));
        EXPECT_EQ(b.data, nullptr);
        EXPECT_EQ(b.size, 0u);
    }
    setLogLevel(-1);
}

// Two rings of different formats in one process: the silence each hands out stays its own.
TEST(Ring, SilenceIsPerRing) {
    TestRing pcmRing, dsdRing;
    dsdRing.hostFormat = StreamFormat(dsd64Stereo | StreamFormat::dsdLsbLittle);
    pcmRing.configure(512, 2);
    dsdRing.configure(16384, 2);
    VELMORA::StreamBlock pcmSilence, dsdSilence;
    for (TestRing* ring : {&pcmRing, &dsdRing}) ASSERT_TRUE(ring->getNewStream(pcmSilence));   // the leading block
    ASSERT_TRUE(pcmRing.getNewStream(pcmSilence));
    ASSERT_TRUE(dsdRing.getNewStream(dsdSilence));   // a larger block while pcmSilence is being sent
    EXPECT_NE(pcmSilence.data, dsdSilence.data);
    EXPECT_TRUE(filledWith(pcmSilence, 0x00));
    EXPECT_TRUE(filledWith(dsdSilence, 0x69));
}

TEST(Ring, ConnectNeedsAValidSinkFormat) {
    TestRing ring;
    ring.configure(512, 4);
    ring.sinkFormat = StreamFormat(0x03);   // no such channel code, no sample type
    EXPECT_FALSE(ring.connect());
    EXPECT_FALSE(ring.bufferWorker.joinable());
}
