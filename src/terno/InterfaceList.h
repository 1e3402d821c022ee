#pragma once
// The unicast addresses of the local adapters, each keyed with port 0 and the adapter's
// interface index as scope, together with the adapter's names.

#include "terno/Address.h"

#include <map>
#include <string>

namespace TERNO {

struct InterfaceInfo {
    std::string name;         // friendly name, UTF-8
    std::string description;  // UTF-8
};

using InterfaceList = std::map<Address, InterfaceInfo>;

// Fill list (emptied first) with every IPv6 / IPv4 unicast address of every adapter,
// whatever the adapter's state or type. False when the adapter query fails.
bool listIPv6(InterfaceList& list);
bool listIPv4(InterfaceList& list);
// listIPv6, keeping only fe80 addresses.
bool listLinkLocal(InterfaceList& list);

}  // namespace TERNO
