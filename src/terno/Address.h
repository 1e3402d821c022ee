#pragma once
// One network endpoint: an IPv6 address (IPv4 held IPv4-mapped), a port kept in network byte
// order and a scope id (the interface index of a link-local address). A plain value: copied
// freely, zero-filled means "::", port 0, scope 0.

#include <array>
#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace TERNO {

struct Address {
    std::array<uint8_t, 16> bytes{};  // network byte order
    uint16_t port = 0;                // network byte order: first byte in memory is the high byte
    uint16_t scope = 0;               // host order

    // Converts a host-order port to the stored (network-order) form and back.
    static uint16_t toNetworkOrder(uint16_t portNumber);
    static uint16_t fromNetworkOrder(uint16_t storedPort);

    uint16_t portNumber() const;
    void setPortNumber(uint16_t portNumber);

    // The i-th 16-bit group (0..7), big-endian from bytes 2i, 2i+1.
    uint16_t group(int i) const;
    void setGroup(int i, uint16_t value);

    // Bytes 12..15 as a big-endian number.
    uint32_t ipv4() const;

    // True when the first 16 bits are exactly fe80.
    bool isLinkLocal() const;

    // IPv6 text of the address bytes, first run of two or more zero groups shown as "::".
    std::string toString() const;
    // a.b.c.d from bytes 12..15.
    std::string toIPv4String() const;
    // toString() + "," + port number.
    std::string toStringWithPort() const;

    // Parsers; on false the value may hold a partial result.
    bool parse(std::string_view text);          // address bytes only
    bool parsePort(std::string_view text);      // decimal digits, 16-bit wrap, empty gives 0
    bool parseWithPort(std::string_view text);  // address,port
    bool parseIPv4(std::string_view text);      // a.b.c.d or a.b.c.d,port; scope 0

    friend bool operator==(const Address&, const Address&) = default;
    // Address bytes, then the two port bytes in memory order, then scope.
    friend std::strong_ordering operator<=>(const Address& a, const Address& b);
};

}  // namespace TERNO
