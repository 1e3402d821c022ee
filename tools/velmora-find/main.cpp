// velmora-find: lists the sinks and outputs that the driver would see on the local links,
// as a table or as JSON. By default it asks the driver's own finder object (the one the
// module exports as DllVelmorafind); --all-products and --max-version widen the search past
// what the driver accepts, with the same discovery code linked in.

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

#include "FinderSource.h"
#include "TargetReport.h"
#include "find/Find.h"
#include "find/FindDestination.h"
#include "terno/InterfaceList.h"

namespace {

// Discovery needs a link-local address on the chosen interface (0: on any interface).
bool hasLinkLocal(unsigned interfaceIndex, size_t& count) {
    TERNO::InterfaceList list;
    if (!TERNO::listLinkLocal(list)) return false;
    count = 0;
    for (const auto& entry : list)
        if (interfaceIndex == 0 || entry.first.scope == interfaceIndex) ++count;
    return count > 0;
}

// Discovery with the driver's identity but filters of the caller's choice.
bool widenedSearch(bool allProducts, unsigned maxVersion, unsigned interfaceIndex,
                   const std::vector<TERNO::Address>& extra, VELMORA::TargetMap& targets) {
    const asio_velmora_find identity;
    VELMORA::FindParams params;
    params.productFilter = allProducts ? 0 : identity.findID;
    params.maxVersion = static_cast<uint16_t>(maxVersion);
    params.name = identity.name;
    params.nopBreak = false;
    VELMORA::Find find(params);
    if (!find.open(static_cast<uint16_t>(interfaceIndex))) return false;
    find.extraDestinations = extra;
    return find.getTargetList(targets);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Lists the Velmora sinks and outputs reachable from this machine."};
    unsigned interfaceIndex = 0;
    std::vector<std::string> addresses;
    std::string module;
    bool json = false;
    bool allProducts = false;
    unsigned maxVersion = 1;
    app.add_option("-i,--interface", interfaceIndex, "Interface index to search on (0: every interface)")
        ->check(CLI::Range(0u, 65535u));
    app.add_option("-a,--address", addresses,
                   "Extra unicast address to ask, as the FindIP setting takes it: ADDRESS, ADDRESS%INTERFACE, "
                   "[ADDRESS]:PORT (port 19642 by default)");
    app.add_option("-m,--module", module, "Ask this driver module's DllVelmorafind for the finder");
    app.add_flag("--json", json, "Print JSON instead of a table");
    app.add_flag("--all-products", allProducts, "Accept sinks of every product, not only this driver's");
    app.add_option("--max-version", maxVersion, "Highest output protocol version accepted (0: all)")
        ->check(CLI::Range(0u, 65535u));
    CLI11_PARSE(app, argc, argv);

    std::vector<TERNO::Address> extra;
    for (const std::string& text : addresses) {
        TERNO::Address address{};
        if (!VELMORA::parseFindDestination(text, address)) {
            std::cerr << "velmora-find: not an address: " << text << "\n";
            return 2;
        }
        extra.push_back(address);
    }
    size_t interfaces = 0;
    if (!hasLinkLocal(interfaceIndex, interfaces)) {
        std::cerr << "velmora-find: discovery could not start: no usable link-local interface"
                  << (interfaceIndex ? " with index " + std::to_string(interfaceIndex) : std::string{}) << "\n";
        return 2;
    }

    VELMORA::TargetMap targets;
    bool complete = false;
    if (allProducts || maxVersion != 1) {
        complete = widenedSearch(allProducts, maxVersion, interfaceIndex, extra, targets);
    } else {
        FinderSource source;
        if (!(module.empty() ? source.openDefault() : source.openModule(module))) {
            std::cerr << "velmora-find: " << source.error() << "\n";
            return 2;
        }
        complete = source.finder()->getTargets(targets, extra, static_cast<uint16_t>(interfaceIndex));
    }
    if (!complete) {
        std::cerr << "velmora-find: discovery failed (socket error)\n";
        return 2;
    }
    if (targets.empty()) {
        std::cerr << "velmora-find: no sink found on " << interfaces << " interface(s)\n";
        if (json) std::cout << "[]\n";
        return 1;
    }
    std::cout << (json ? velmora_find::targetsAsJson(targets) : velmora_find::targetsAsTable(targets));
    return 0;
}
