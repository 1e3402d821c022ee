// velmora-find: lists the sinks and outputs that the driver would see on the local links,
// as a table or as JSON. Runs the driver's own discovery (same product filter, version
// limit and name as the finder object of the driver module).

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

#include "DestinationText.h"
#include "TargetReport.h"
#include "find/Find.h"
#include "find/FinderObject.h"

int main(int argc, char** argv) {
    CLI::App app{"Lists the Velmora sinks and outputs reachable from this machine."};
    unsigned interfaceIndex = 0;
    std::vector<std::string> addresses;
    bool json = false;
    bool allProducts = false;
    unsigned maxVersion = 1;
    app.add_option("-i,--interface", interfaceIndex, "Interface index to search on (0: every interface)")
        ->check(CLI::Range(0u, 65535u));
    app.add_option("-a,--address", addresses,
                   "Extra unicast address to ask, ADDRESS[,PORT][%SCOPE] (port 19642 by default)");
    app.add_flag("--json", json, "Print JSON instead of a table");
    app.add_flag("--all-products", allProducts, "Accept sinks of every product, not only this driver's");
    app.add_option("--max-version", maxVersion, "Highest output protocol version accepted (0: all)")
        ->check(CLI::Range(0u, 65535u));
    CLI11_PARSE(app, argc, argv);

    asio_velmora_find finder;  // the identity the driver module hands to setup tools
    VELMORA::FindParams params;
    params.productFilter = allProducts ? 0 : finder.getFindID();
    params.maxVersion = static_cast<uint16_t>(maxVersion);
    params.name = finder.name;
    params.nopBreak = false;

    std::vector<TERNO::Address> extra;
    for (const std::string& text : addresses) {
        TERNO::Address address{};
        if (!velmora_find::parseDestination(text, address)) {
            std::cerr << "velmora-find: not an address: " << text << "\n";
            return 2;
        }
        extra.push_back(address);
    }

    VELMORA::Find find(params);
    if (!find.open(static_cast<uint16_t>(interfaceIndex))) {
        std::cerr << "velmora-find: discovery could not start: no usable link-local interface"
                  << (interfaceIndex ? " with index " + std::to_string(interfaceIndex) : std::string{})
                  << "\n";
        return 2;
    }
    find.extraDestinations = extra;

    VELMORA::TargetMap targets;
    if (!find.getTargetList(targets)) {
        std::cerr << "velmora-find: discovery failed (socket error)\n";
        return 2;
    }
    if (targets.empty()) {
        std::cerr << "velmora-find: no sink found on " << find.interfaces.size() << " interface(s)\n";
        if (json) std::cout << "[]\n";
        return 1;
    }
    std::cout << (json ? velmora_find::targetsAsJson(targets) : velmora_find::targetsAsTable(targets));
    return 0;
}
