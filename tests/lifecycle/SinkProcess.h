#pragma once
// The reference sink run in a sink namespace of the test network (tests/netns/testnet.sh),
// stopped and reaped when it goes.

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace lifecycle {

// Sink namespace names from the test network (VELMORA_TESTNET_SINKS); empty outside it.
std::vector<std::string> sinkNamespaces();

class SinkProcess {
public:
    // Every sink listens on this Sync port; each has a namespace of its own.
    static constexpr uint16_t syncPort = 30000;

    SinkProcess(const std::string& space, const std::vector<std::string>& options);
    ~SinkProcess();
    SinkProcess(const SinkProcess&) = delete;
    SinkProcess& operator=(const SinkProcess&) = delete;

    // The Sync port once the sink listens (at most 5 s); 0 when it does not come up.
    uint16_t port();
    // Sends `signal` and reaps the sink (SIGKILL after 3 s); idempotent.
    void stop(int signal = SIGTERM);
    // Waits up to `limit` for the sink to end by itself; true when it did.
    bool waitForExit(std::chrono::milliseconds limit);
    // After the sink ended: its report says the driver ran the closing handshake.
    bool sawClosingHandshake() const;
    // Why the sink could not be started (empty when it was).
    const std::string& error() const { return error_; }

private:
    std::filesystem::path folder_;
    pid_t pid_ = 0;
    std::string error_;
};

}  // namespace lifecycle
