// Local interface addresses from getifaddrs. The interface name serves as both the friendly
// name and the description.

#include "platform/NetInterfaces.h"

#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace platform {

bool listAdapterAddresses(bool ipv6, std::vector<AdapterAddress>& out) {
    out.clear();
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0) return false;
    const int family = ipv6 ? AF_INET6 : AF_INET;
    for (const ifaddrs* entry = all; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != family) continue;
        AdapterAddress address;
        if (ipv6) {
            const auto* in = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
            std::memcpy(address.bytes.data(), &in->sin6_addr, 16);
        } else {
            const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            std::memcpy(address.bytes.data(), &in->sin_addr, 4);
        }
        address.interfaceIndex = if_nametoindex(entry->ifa_name);
        address.name = entry->ifa_name;
        address.description = entry->ifa_name;
        out.push_back(std::move(address));
    }
    freeifaddrs(all);
    return true;
}

}  // namespace platform
