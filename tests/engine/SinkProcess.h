#pragma once
// Runs the reference sink as a child process for one test: gives it its own files, waits
// until it listens, and makes sure it is gone when the test ends (killed when it outlives its
// deadline). On loopback with a port of its own, or in a sink namespace of the test network
// (tests/netns/testnet.sh) on the Sync port every sink there uses, answering discovery.

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

namespace engine_test {

class SinkProcess {
public:
    // The Sync port of a sink in a namespace of the test network.
    static constexpr uint16_t syncPort = 30000;

    // On loopback. extraArgs: sink options beyond the port, output and report files. rawOut:
    // keep every payload byte in a file (for bit-exact checks).
    explicit SinkProcess(std::vector<std::string> extraArgs, double timeLimitS = 20.0, bool rawOut = true);
    // In the sink namespace `space`, with the given sink options.
    SinkProcess(const std::string& space, const std::vector<std::string>& options);
    ~SinkProcess();
    SinkProcess(const SinkProcess&) = delete;
    SinkProcess& operator=(const SinkProcess&) = delete;

    // True once the sink has bound its port (within the timeout); false when it ended first.
    bool waitListening(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    uint16_t port() const { return port_; }

    // Waits for the sink to exit by itself; kills it after the timeout. Exit status, or -1
    // when it had to be killed.
    int waitExit(std::chrono::milliseconds timeout);
    // Sends `signal` and reaps the sink (SIGKILL after 3 s); harmless once it is gone.
    void stop(int signal = SIGTERM);

    std::vector<uint8_t> rawOutput() const;
    std::string report() const;
    // A number field of the JSON report (top level or inside one object: "bursts.count").
    double reportNumber(const std::string& key) const;
    bool reportFlag(const std::string& key) const;

private:
    void spawn(std::vector<std::string> args);

    std::string dir_;
    int pid_ = -1;
    uint16_t port_ = 0;
    bool answersDiscovery_ = false;
};

}  // namespace engine_test
