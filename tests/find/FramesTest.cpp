// The pure parts of discovery: product tags, request frames, reading answers safely,
// the "[myaddress]" placeholder.

#include <gtest/gtest.h>

#include <cstring>

#include "find/FindFrame.h"
#include "find/FindRequests.h"
#include "find/ProductTag.h"
#include "find/Target.h"

namespace {

std::vector<uint8_t> bytesOf(const TERNO::MessageHeader& message) {
    return std::vector<uint8_t>(message.frame, message.frame + message.frameSize);
}

uint16_t u16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

TERNO::Address addressOf(const char* text) {
    TERNO::Address address{};
    EXPECT_TRUE(address.parse(text)) << text;
    return address;
}

}  // namespace

TEST(ProductTag, PacksEightCharactersLittleEndian) {
    const uint64_t tag = VELMORA::productTagOf("PALUDRIN");
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(tag >> (8 * i));
    EXPECT_EQ(std::memcmp(bytes, "PALUDRIN", 8), 0);
    EXPECT_EQ(tag, 0x4E495244554C4150ull);
    EXPECT_EQ(VELMORA::productID, tag);
    EXPECT_EQ(VELMORA::findID, tag);
    EXPECT_EQ(VELMORA::productTagOf("SHORT"), VELMORA::invalidProductTag);
    EXPECT_EQ(VELMORA::productTagOf("\xff\xff\xff\xff\xff\xff\xff\xff"), VELMORA::invalidProductTag);
}

TEST(FindRequests, HeaderOnlyRequests) {
    const auto find = bytesOf(VELMORA::FindRequests::find());
    ASSERT_EQ(find.size(), 16u);
    EXPECT_EQ(u16(find, 0), 100u);
    EXPECT_EQ(u16(find, 2), 16u);
    for (size_t i = 4; i < 16; ++i) EXPECT_EQ(find[i], 0u) << i;

    const auto output = bytesOf(VELMORA::FindRequests::output(3));
    ASSERT_EQ(output.size(), 16u);
    EXPECT_EQ(u16(output, 4), 2u);
    EXPECT_EQ(u16(output, 6), 0u);
    EXPECT_EQ(u16(output, 8), 3u);
    EXPECT_EQ(u16(output, 10), 0u);
    EXPECT_EQ(u16(output, 12), 0u);
    EXPECT_EQ(u16(output, 14), 1u);

    EXPECT_EQ(u16(bytesOf(VELMORA::FindRequests::info()), 4), 16u);
    EXPECT_EQ(u16(bytesOf(VELMORA::FindRequests::nopBreak()), 4), 42u);
}

TEST(FindRequests, NameFramePadsToEightBytes) {
    struct Case { std::string name; size_t size; uint16_t lengthWord; };
    for (const Case& c : {Case{"TOLVENIK Velmora", 32, 32}, Case{"Thirteen char", 32, 35},
                          Case{"", 16, 16}, Case{"a", 24, 31}}) {
        TERNO::Message message;
        VELMORA::FindRequests::name(c.name, message);
        const auto bytes = bytesOf(message);
        ASSERT_EQ(bytes.size(), c.size) << c.name;
        EXPECT_EQ(u16(bytes, 0), 100u);
        EXPECT_EQ(u16(bytes, 2), c.lengthWord) << c.name;
        EXPECT_EQ(u16(bytes, 4), 22u);
        EXPECT_EQ(u16(bytes, 6), 1u);
        for (size_t i = 8; i < 16; ++i) EXPECT_EQ(bytes[i], 0u);
        EXPECT_EQ(std::string(bytes.begin() + 16, bytes.begin() + 16 + static_cast<long>(c.name.size())), c.name);
        for (size_t i = 16 + c.name.size(); i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0u) << "pad " << i;
        EXPECT_EQ(VELMORA::framePayloadText(bytes), c.name);
    }
}

TEST(FindFrame, ReadsStayInsideTheDatagram) {
    // Well-formed: 3-byte payload, 5 pad bytes.
    std::vector<uint8_t> frame(24, 0);
    frame[0] = 100; frame[2] = 24 | 5; frame[4] = 17;
    std::memcpy(&frame[16], "abc", 3);
    EXPECT_EQ(VELMORA::framePayloadText(frame), "abc");
    EXPECT_EQ(VELMORA::frameCommand(frame), 17u);

    auto payloadWith = [&](uint16_t lengthWord, size_t size) {
        std::vector<uint8_t> f = frame;
        f.resize(size, 0);
        f[2] = static_cast<uint8_t>(lengthWord);
        f[3] = static_cast<uint8_t>(lengthWord >> 8);
        return VELMORA::framePayloadText(f);
    };
    EXPECT_EQ(payloadWith(0x0017, 24), "");             // pad 7 in a header-only frame
    EXPECT_EQ(payloadWith(0x0008, 24), "");             // length word below the header
    EXPECT_EQ(payloadWith(0xFFF8, 24), "");             // claims 65528 bytes
    EXPECT_EQ(payloadWith(0x0020, 40).size(), 16u);     // extra bytes after the frame are fine
    EXPECT_EQ(VELMORA::framePayloadText({100, 0}), ""); // shorter than a header
    EXPECT_EQ(VELMORA::frameU64({1, 2, 3}, 8), 0u);
    EXPECT_EQ(VELMORA::frameU16({1, 2, 3}, 2), 0u);
}

TEST(TargetText, MyAddressPlaceholder) {
    const TERNO::Address sink = addressOf("fe80::1");
    EXPECT_EQ(VELMORA::replaceMyAddress("at [myaddress] now", sink), "at [fe80::1] now");
    EXPECT_EQ(VELMORA::replaceMyAddress("[myaddress]", sink), "[fe80::1]");
    EXPECT_EQ(VELMORA::replaceMyAddress("[myaddress][myaddress]", sink), "[fe80::1][myaddress]");
    EXPECT_EQ(VELMORA::replaceMyAddress("no placeholder [myaddres]", sink), "no placeholder [myaddres]");
    EXPECT_EQ(VELMORA::replaceMyAddress("", sink), "");
    TERNO::Address withPort = addressOf("fe80::a:2");
    withPort.setPortNumber(19642);
    withPort.scope = 3;
    EXPECT_EQ(VELMORA::replaceMyAddress("http://[myaddress]/", withPort), "http://[fe80::a:2]/");
}

TEST(TargetText, ZeroAddressIgnoresScope) {
    TERNO::Address address{};
    EXPECT_TRUE(VELMORA::isZeroAddress(address));
    address.scope = 7;
    EXPECT_TRUE(VELMORA::isZeroAddress(address));
    address.setPortNumber(1);
    EXPECT_FALSE(VELMORA::isZeroAddress(address));
    EXPECT_FALSE(VELMORA::isZeroAddress(addressOf("::1")));
}
