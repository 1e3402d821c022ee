#include "terno/Address.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

using TERNO::Address;

namespace {

Address groups(std::initializer_list<uint16_t> values) {
    Address a{};
    int i = 0;
    for (uint16_t g : values) a.setGroup(i++, g);
    return a;
}

// Parses text held in a heap block of exactly its size, so a read past its end is caught.
bool parseExact(Address& a, const std::string& text, bool (Address::*parser)(std::string_view) = &Address::parse) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    text.copy(copy.get(), text.size());
    return (a.*parser)(std::string_view(copy.get(), text.size()));
}

}  // namespace

TEST(AddressText, PrintsCompressingOnlyTheFirstZeroRun) {
    const std::pair<Address, const char*> cases[] = {
        {groups({}), "::"}, {groups({0, 0, 0, 0, 0, 0, 0, 1}), "::1"}, {groups({0xfe80}), "fe80::"},
        {groups({0x2001, 0xdb8, 0, 0, 1, 0, 0, 1}), "2001:db8::1:0:0:1"}, {groups({1, 0, 0, 2, 0, 0, 0, 3}), "1::2:0:0:0:3"},
        {groups({1, 0, 2, 3, 4, 5, 6, 7}), "1:0:2:3:4:5:6:7"}, {groups({0, 1}), "0:1::"},
        {groups({0xabcd, 0xdb8, 0xf0, 0xf, 0xffff, 0x1000, 0x100, 0x10}), "abcd:db8:f0:f:ffff:1000:100:10"},
        {groups({0, 0, 0, 0, 0, 0xffff, 0xc0a8, 0x105}), "::ffff:c0a8:105"}};
    for (const auto& [address, text] : cases) EXPECT_EQ(address.toString(), text);

    Address a = groups({0xfe80, 1, 2, 3, 4, 5, 0xc0a8, 0x105});  // the first twelve bytes do not matter
    EXPECT_EQ(a.toIPv4String(), "192.168.1.5");
    EXPECT_EQ(groups({}).toIPv4String(), "0.0.0.0");
    a = groups({0xfe80, 0, 0, 0, 0, 0, 0, 1});
    a.setPortNumber(12345);
    EXPECT_EQ(a.toStringWithPort(), "fe80::1,12345");
}

TEST(AddressParse, AcceptsFullAndCompressedForms) {
    const std::pair<const char*, Address> cases[] = {
        {"1:2:3:4:5:6:7:8", groups({1, 2, 3, 4, 5, 6, 7, 8})}, {"fe80::1", groups({0xfe80, 0, 0, 0, 0, 0, 0, 1})},
        {"1:2:3:4::5:6", groups({1, 2, 3, 4, 0, 0, 5, 6})}, {"::", groups({})}, {"1::", groups({1})},
        {"::3:4:5:6:7:8", groups({0, 0, 3, 4, 5, 6, 7, 8})}, {"FE80::aBcD", groups({0xfe80, 0, 0, 0, 0, 0, 0, 0xabcd})},
        {"0001:0:00:000:0000::ffff", groups({1, 0, 0, 0, 0, 0, 0, 0xffff})},
        {":1:2:3:4:5:6:7", groups({0, 1, 2, 3, 4, 5, 6, 7})}};  // a leading colon stores a zero group
    for (const auto& [text, expected] : cases) {
        Address a{};
        a.setPortNumber(4242);
        a.scope = 7;
        ASSERT_TRUE(a.parse(text)) << text;
        EXPECT_EQ(a.bytes, expected.bytes) << text;
        EXPECT_EQ(a.portNumber(), 4242);  // port and scope untouched
        EXPECT_EQ(a.scope, 7);
    }
}

TEST(AddressParse, RejectsMalformedText) {
    // The colon that starts the text and the end of the text each store a group, so "::" with
    // seven written groups leaves no room.
    for (const char* text : {"", ":", "1", "1:2:3:4:5:6:7", "1:2:3:4:5:6:7:8:9", "1:2:3:4:5:6:7:8:", "12345::1",
                             "1:::2", ":::", "1::2::3", "1:2:3:4:5:6:7::8", "::2:3:4:5:6:7:8", "1:2:3:4:5:6:7::",
                             "fe80::1%3", "::ffff:1.2.3.4", "[::1]", "g::1", " ::1", "::1 ", "fe80::1,80"}) {
        Address a{};
        EXPECT_FALSE(parseExact(a, text)) << '"' << text << '"';
    }
    Address a{};
    EXPECT_FALSE(a.parse(std::string("::1\0", 4)));
}

TEST(AddressParse, PortsAndAddressesWithPorts) {
    Address a{};
    ASSERT_TRUE(a.parseWithPort("fe80::1,49152"));
    EXPECT_EQ(a.toString(), "fe80::1");
    const auto* raw = reinterpret_cast<const uint8_t*>(&a.port);
    EXPECT_EQ(raw[0], 0xc0);  // network order in memory
    EXPECT_EQ(raw[1], 0x00);
    EXPECT_EQ(a.port, Address::toNetworkOrder(49152));
    ASSERT_TRUE(a.parsePort("70000"));  // 16-bit wrap, no range check
    EXPECT_EQ(a.portNumber(), 4464);
    ASSERT_TRUE(a.parsePort(""));
    EXPECT_EQ(a.portNumber(), 0);
    for (const char* bad : {"-1", "+1", " 1", "1 ", "0x10", "12a"}) EXPECT_FALSE(a.parsePort(bad)) << bad;
    for (const char* bad : {"fe80::1", "fe80::1,x", "fe80::1,1,2", "zz::1,80", ",80", ""})
        EXPECT_FALSE(a.parseWithPort(bad)) << bad;
}

TEST(AddressParse, IPv4DottedForms) {
    const struct {
        const char* text;
        const char* dotted;
        uint16_t port;
    } good[] = {{"10.0.0.1", "10.0.0.1", 0},
                {"10.0.0.1,80", "10.0.0.1", 80},
                {" 192.+168.1.300,70000", "192.168.1.44", 4464},  // blanks, signs, modulo 256, wrap
                {"1x.2.3.4y,5z", "1.2.3.4", 5},                   // numbers end at a non-digit
                {"1.2.3.4.5", "1.2.3.4", 0},
                {"...", "0.0.0.0", 0},
                {"99999999999999999999999.1.1.1,99999999999999999999", "255.1.1.1", 65535}};
    for (const auto& c : good) {
        Address a{};
        a.scope = 5;
        ASSERT_TRUE(parseExact(a, c.text, &Address::parseIPv4)) << c.text;
        EXPECT_EQ(a.toIPv4String(), c.dotted) << c.text;
        EXPECT_EQ(a.portNumber(), c.port) << c.text;
        EXPECT_EQ(a.group(5), 0xffff);
        EXPECT_EQ(a.scope, 0);
    }
    Address a{};
    ASSERT_TRUE(a.parseIPv4("10.0.0.1"));
    EXPECT_EQ(a.toString(), "::ffff:a00:1");
    EXPECT_EQ(a.ipv4(), 0x0a000001u);
    for (const char* bad : {"10.0.0", "", "..", "-1.0.0.1", "1.-2.3.4", "1.2.3.-4", "1.2.3.4,-80"})
        EXPECT_FALSE(parseExact(a, bad, &Address::parseIPv4)) << bad;
}

TEST(AddressOrder, BytesThenPortBytesThenScopeAndLinkLocalTest) {
    Address low = groups({0xfe80, 0, 0, 0, 0, 0, 0, 1});
    Address high = groups({0xfe80, 0, 0, 0, 0, 0, 0, 2});
    high.setPortNumber(1);
    low.setPortNumber(65535);
    Address portA = low;
    Address portB = low;
    portA.setPortNumber(0x00ff);  // memory 00 ff
    portB.setPortNumber(0x0100);  // memory 01 00
    portA.scope = 9;
    Address scopeB = portA;
    scopeB.scope = 10;
    std::map<Address, int> map = {{high, 4}, {portB, 3}, {scopeB, 2}, {portA, 1}};
    int expected = 1;
    for (const auto& entry : map) EXPECT_EQ(entry.second, expected++);
    EXPECT_NE(portA, scopeB);
    scopeB.scope = 9;
    EXPECT_EQ(portA, scopeB);

    EXPECT_TRUE(groups({0xfe80, 0xffff}).isLinkLocal());
    EXPECT_FALSE(groups({0xfe81}).isLinkLocal());  // the rest of fe80::/10 does not count
    EXPECT_FALSE(groups({0xfebf}).isLinkLocal());
}
