// Local interface addresses from the IP Helper adapter list.

#include "platform/NetInterfaces.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <cstring>
#include <vector>

namespace platform {

namespace {

// UTF-8 of a UTF-16 text; empty when it does not fit 2048 bytes and its terminator.
std::string utf8(const wchar_t* text) {
    if (text == nullptr) return {};
    char buffer[2049];
    const int written = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    if (written <= 0) return {};
    return std::string(buffer);
}

}  // namespace

bool listAdapterAddresses(bool ipv6, std::vector<AdapterAddress>& out) {
    out.clear();
    const ULONG family = ipv6 ? AF_INET6 : AF_INET;
    ULONG size = 0;
    if (GetAdaptersAddresses(family, 0, nullptr, nullptr, &size) != ERROR_BUFFER_OVERFLOW) return false;
    // 8-byte aligned storage for the adapter records.
    std::vector<uint64_t> storage((size + sizeof(uint64_t) - 1) / sizeof(uint64_t));
    auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(storage.data());
    if (GetAdaptersAddresses(family, 0, nullptr, adapters, &size) != NO_ERROR) return false;
    for (const IP_ADAPTER_ADDRESSES* adapter = adapters; adapter != nullptr; adapter = adapter->Next) {
        for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            const sockaddr* socketAddress = unicast->Address.lpSockaddr;
            if (socketAddress == nullptr || socketAddress->sa_family != family) continue;
            AdapterAddress address;
            if (ipv6) {
                const auto* in = reinterpret_cast<const sockaddr_in6*>(socketAddress);
                std::memcpy(address.bytes.data(), &in->sin6_addr, 16);
                // Some stacks leave the IPv6 index at 0; the adapter's own index is the same one.
                address.interfaceIndex = adapter->Ipv6IfIndex != 0 ? adapter->Ipv6IfIndex : adapter->IfIndex;
            } else {
                const auto* in = reinterpret_cast<const sockaddr_in*>(socketAddress);
                std::memcpy(address.bytes.data(), &in->sin_addr, 4);
                address.interfaceIndex = adapter->IfIndex;
            }
            address.name = utf8(adapter->FriendlyName);
            address.description = utf8(adapter->Description);
            out.push_back(std::move(address));
        }
    }
    return true;
}

}  // namespace platform
