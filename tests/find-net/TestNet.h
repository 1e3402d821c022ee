#pragma once
// Access to the test network built by tests/netns/testnet.sh: its namespaces and links,
// running code inside a sink namespace, and the guard that keeps discovery out of the
// machine's own network.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "terno/Address.h"

namespace testnet {

// True when this process runs in the host namespace of a test network. Otherwise
// whyNot says why (tests then skip: discovery must never run outside).
bool inside(std::string* whyNot = nullptr);

std::vector<std::string> sinkNamespaces();  // sink 1 first
std::string placement(size_t sink);         // segments of sink (1-based), e.g. "12"

// Interface index of a host link ("link1", "link2") in this namespace; 0 when missing.
uint16_t linkIndex(const std::string& link);

// The link-local address of sink (1-based) on segment, as the script assigns it.
TERNO::Address sinkAddress(size_t sink, int segment);

// Runs fn on a thread that entered namespace ns and waits for it. Sockets fn opens stay in
// that namespace whatever thread uses them later. False when the namespace cannot be entered.
bool inNamespace(const std::string& ns, const std::function<void()>& fn);

}  // namespace testnet

// Skips the current test unless it runs inside the test network.
#define TESTNET_REQUIRED()                                                          \
    do {                                                                            \
        std::string whyNot_;                                                        \
        if (!testnet::inside(&whyNot_)) GTEST_SKIP() << whyNot_;                    \
    } while (0)
