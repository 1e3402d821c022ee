// The local interface list, built from the adapter query of the platform.

#include "terno/InterfaceList.h"

#include "platform/NetInterfaces.h"

#include <vector>

namespace TERNO {

namespace {

bool listFamily(InterfaceList& list, bool ipv6) {
    list.clear();
    std::vector<platform::AdapterAddress> adapters;
    if (!platform::listAdapterAddresses(ipv6, adapters)) return false;
    for (const platform::AdapterAddress& adapter : adapters) {
        Address key{};
        if (ipv6) {
            key.bytes = adapter.bytes;
        } else {
            key.bytes[10] = 0xff;
            key.bytes[11] = 0xff;
            for (int i = 0; i < 4; ++i) key.bytes[12 + i] = adapter.bytes[i];
        }
        key.scope = static_cast<uint16_t>(adapter.interfaceIndex);
        InterfaceInfo& info = list[key];  // a repeated key keeps its last texts
        info.name = adapter.name;
        info.description = adapter.description;
    }
    return true;
}

}  // namespace

bool listIPv6(InterfaceList& list) { return listFamily(list, true); }

bool listIPv4(InterfaceList& list) { return listFamily(list, false); }

bool listLinkLocal(InterfaceList& list) {
    if (!listIPv6(list)) return false;
    std::erase_if(list, [](const auto& entry) { return !entry.first.isLinkLocal(); });
    return true;
}

}  // namespace TERNO
