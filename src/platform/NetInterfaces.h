#pragma once
// The unicast addresses of the local network adapters.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct AdapterAddress {
    std::array<uint8_t, 16> bytes{};  // IPv6: the address; IPv4: the 4 bytes first, rest zero
    uint32_t interfaceIndex = 0;
    std::string name;         // friendly name, UTF-8; empty when it does not fit 2048 bytes
    std::string description;  // UTF-8, same rule
};

// Every unicast address of the given family (IPv6 when ipv6, else IPv4) on every adapter,
// whatever its state or type, in adapter order. False when the adapter query fails.
bool listAdapterAddresses(bool ipv6, std::vector<AdapterAddress>& out);

}  // namespace platform
