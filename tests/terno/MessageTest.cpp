#include "terno/Message.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using TERNO::Message;
using TERNO::MessageHeader;

namespace {

std::vector<uint8_t> frameWith(uint16_t magic, uint16_t lengthWord, size_t size) {
    std::vector<uint8_t> bytes(std::max<size_t>(size, 4), 0xee);
    const uint8_t head[4] = {static_cast<uint8_t>(magic), static_cast<uint8_t>(magic >> 8),
                             static_cast<uint8_t>(lengthWord), static_cast<uint8_t>(lengthWord >> 8)};
    std::memcpy(bytes.data(), head, 4);
    bytes.resize(size);
    return bytes;
}

}  // namespace

TEST(MessageHeaderFrame, LayoutOfHeaderOnlyFrames) {
    const MessageHeader four(0x0102, 0x1112, 0x2122, 0x3132, 0x4142);
    const uint8_t fourBytes[16] = {100, 0, 16, 0, 2, 1, 0, 0, 0x12, 0x11, 0x22, 0x21, 0x32, 0x31, 0x42, 0x41};
    ASSERT_EQ(four.frameSize, 16u);
    EXPECT_EQ(std::memcmp(four.frame, fourBytes, 16), 0);
    EXPECT_EQ(Message::payloadLength(four.frame), 0);

    MessageHeader copy = four;  // a copy sends its own header
    EXPECT_EQ(copy.frame, copy.header.data());
    copy.changeFlags(0, 0x8001);
    copy.changeFlags(0x0001, 0x0010);
    EXPECT_EQ(copy.flags(), 0x8010);
    copy.setHeader(6, 1);  // a plain number is the flags word; parameters cleared
    EXPECT_EQ(copy.flags(), 1);
    EXPECT_EQ(copy.param64(), 0u);
    copy.setHeader(6, uint64_t{0x0807060504030201});  // a 64-bit value is the parameter, flags 0
    EXPECT_EQ(copy.flags(), 0);
    EXPECT_EQ(copy.header[8], 0x01);
    EXPECT_EQ(copy.header[15], 0x08);
    copy.header[2] = 0x55;
    copy.resetHeader();
    EXPECT_EQ(copy.lengthWord(), 16);
    EXPECT_EQ(copy.command(), 6);
}

TEST(MessageFrame, SizingForPayloadsUpToSeventeenBytes) {
    for (uint16_t n = 0; n <= 17; ++n) {
        Message m;
        m.prepare(17);  // leave non-zero bytes where the pad of a shorter frame goes
        std::memset(m.storage.data(), 0xaa, m.storage.size());
        m.prepare(n);
        const size_t total = 16 + (n + 7) / 8 * 8;
        EXPECT_EQ(m.frameSize, total) << n;
        EXPECT_EQ(m.storage.size(), total) << n;
        EXPECT_EQ(m.header[2] | (m.header[3] << 8), total | (total - 16 - n)) << n;
        for (size_t i = 16 + n; i < total; ++i) EXPECT_EQ(m.storage[i], 0) << "pad byte " << i << " of " << n;
        m.commitHeader();
        EXPECT_EQ(Message::payloadLength(m.frame, m.frameSize), n);
    }
    Message m;
    m.prepare(5, 100);  // one frame out of a larger buffer
    EXPECT_EQ(m.frameSize, 24u);
    EXPECT_EQ(m.storage.size(), 120u);
    m.prepare(5, 1);
    EXPECT_GE(m.storage.size(), m.frameSize);

    Message text;
    text.setHeader(22, uint16_t{1});
    text.setPayload("hello world");
    EXPECT_EQ(text.commitHeader(), text.frame);
    EXPECT_EQ(text.command(), 22);
    EXPECT_EQ(std::memcmp(text.payload(), "hello world\0\0\0\0\0", 16), 0);
    Message copy;
    copy = text;
    EXPECT_EQ(copy.frame, copy.storage.data());
    EXPECT_EQ(Message::payloadText(copy.frame, copy.frameSize), "hello world");
}

TEST(MessageReceived, ShortForeignOverlongAndLyingFrames) {
    EXPECT_FALSE(Message::isValidFrame(nullptr, 64));
    auto trailing = frameWith(100, 24 | 3, 40);  // bytes after the frame are allowed
    EXPECT_TRUE(Message::isValidFrame(trailing.data(), trailing.size()));
    EXPECT_EQ(Message::payloadLength(trailing.data(), trailing.size()), 5u);
    for (const auto& bad : {frameWith(100, 16, 15), frameWith(101, 16, 16), frameWith(0x6400, 16, 16),
                            frameWith(100, 32, 31), frameWith(100, 0xFFF8, 24)}) {
        EXPECT_FALSE(Message::isValidFrame(bad.data(), bad.size()));
        EXPECT_EQ(Message::payloadText(bad.data(), bad.size()), "");
    }
    // Total 16 with 7 pad bytes: the plain rule wraps in 16 bits, the bounded one gives 0.
    auto lying = frameWith(100, 16 | 7, 16);
    ASSERT_TRUE(Message::isValidFrame(lying.data(), lying.size()));
    EXPECT_EQ(Message::payloadLength(lying.data()), 65529);
    EXPECT_EQ(Message::payloadLength(lying.data(), lying.size()), 0u);
    const auto belowHeader = frameWith(100, 8, 24);
    EXPECT_EQ(Message::payloadText(belowHeader.data(), belowHeader.size()), "");
}
