// The pure parts of discovery: product tags, request frames, reading answers safely, the
// "[myaddress]" placeholder.

#include <gtest/gtest.h>

#include "find/FakeSink.h"
#include "find/FindFrame.h"
#include "find/FindRequests.h"
#include "find/ProductTag.h"
#include "find/Target.h"
#include "terno/AddressOf.h"

using findtest::Bytes;
using findtest::frame;

namespace {

Bytes bytesOf(const TERNO::MessageHeader& message) { return Bytes(message.frame, message.frame + message.frameSize); }

}  // namespace

TEST(ProductTag, PacksEightCharactersLittleEndian) {
    EXPECT_EQ(VELMORA::productTagOf("PALUDRIN"), 0x4E495244554C4150ull);  // 'P' in the low byte
    EXPECT_EQ(VELMORA::productTagOf("SHORT"), VELMORA::invalidProductTag);
    EXPECT_EQ(VELMORA::productTagOf("\xff\xff\xff\xff\xff\xff\xff\xff"), VELMORA::invalidProductTag);
}

TEST(FindRequests, ByteLayouts) {
    // frame(): magic 100, length word, command, flags, four u16 parameters, then the payload.
    EXPECT_EQ(bytesOf(VELMORA::FindRequests::find()), Bytes({100, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bytesOf(VELMORA::FindRequests::output(3)), frame(2, 0, 3, 0, 0, 1));
    EXPECT_EQ(bytesOf(VELMORA::FindRequests::info()), frame(16, 0));
    EXPECT_EQ(bytesOf(VELMORA::FindRequests::nopBreak()), frame(42, 0));

    // The name is padded to a multiple of eight; the length word carries the pad count.
    for (const std::string name : {"TOLVENIK Velmora", "Thirteen char", "", "a"}) {
        TERNO::Message message;
        VELMORA::FindRequests::name(name, message);
        EXPECT_EQ(bytesOf(message), frame(22, 1, 0, 0, 0, 0, name)) << name;
        EXPECT_EQ(VELMORA::framePayloadText(bytesOf(message)), name);
    }
}

// The payload reads are the frame library's (its own tests bound them), good frames the
// exchange tests'; the number reads stay inside the datagram.
TEST(FindFrame, ReadsStayInsideTheDatagram) {
    EXPECT_EQ(VELMORA::frameU64({1, 2, 3}, 8), 0u);
    EXPECT_EQ(VELMORA::frameU16({1, 2, 3}, 2), 0u);
}

TEST(TargetText, MyAddressPlaceholderAndZeroAddress) {
    const std::pair<const char*, const char*> cases[] = {
        {"at [myaddress] now", "at [fe80::a:2] now"}, {"[myaddress]", "[fe80::a:2]"},
        {"[myaddress][myaddress]", "[fe80::a:2][myaddress]"},  // the first only
        {"no placeholder [myaddres]", "no placeholder [myaddres]"}, {"", ""},
    };
    const TERNO::Address sink = addressOf("fe80::a:2", 3, 19642);  // neither port nor scope printed
    for (const auto& [text, replaced] : cases) EXPECT_EQ(VELMORA::replaceMyAddress(text, sink), replaced);

    TERNO::Address zero{};
    zero.scope = 7;  // the scope does not count
    EXPECT_TRUE(VELMORA::isZeroAddress(zero));
    zero.setPortNumber(1);
    EXPECT_FALSE(VELMORA::isZeroAddress(zero));
    EXPECT_FALSE(VELMORA::isZeroAddress(addressOf("::1")));
}
