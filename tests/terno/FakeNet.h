#pragma once
// A scripted stand-in for the socket seam, linked instead of the platform library, so that
// the socket wrapper meets failures that a loopback socket never produces (would-block,
// failing options, a failing network start-up).

#include "platform/Net.h"

#include <deque>
#include <set>
#include <utility>
#include <vector>

struct FakeNet {
    struct SendResult {
        int64_t sent;   // -1: fails with error
        int32_t error;
    };

    int32_t startupResult = 0;
    int startups = 0;
    int32_t error = 0;  // what lastNetError reports

    platform::SocketHandle nextHandle = 40;
    bool failOpen = false;
    std::vector<platform::SocketHandle> closed;

    std::vector<std::pair<platform::NetOption, int32_t>> options;
    std::set<platform::NetOption> failingOptions;
    std::vector<bool> nonBlockingCalls;
    bool failNonBlocking = false;

    bool failBind = false;
    platform::SocketAddress6 bound{};
    uint16_t chosenPort = 0;  // network order, reported by socketName

    std::deque<SendResult> sends;  // consumed one per send; empty: the whole datagram goes out
    std::vector<platform::SocketAddress6> destinations;

    std::vector<std::pair<uint32_t, uint32_t>> waits;  // seconds, microseconds
    int waitResult = 0;

    static FakeNet& get();
    void reset() { *this = FakeNet{}; }
};
