#pragma once
// Runs the reference sink as a child process for one test: gives it its own port and
// files, waits until it listens, and makes sure it is gone when the test ends (killed
// when it outlives its deadline).

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace engine_test {

class SinkProcess {
public:
    // extraArgs: sink options beyond the port, output and report files. rawOut: keep every
    // payload byte in a file (for bit-exact checks).
    explicit SinkProcess(std::vector<std::string> extraArgs, double timeLimitS = 20.0, bool rawOut = true);
    ~SinkProcess();
    SinkProcess(const SinkProcess&) = delete;
    SinkProcess& operator=(const SinkProcess&) = delete;

    // True once the sink has bound its port (within the timeout).
    bool waitListening(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    uint16_t port() const { return port_; }

    // Waits for the sink to exit by itself; kills it after the timeout. Exit status, or -1
    // when it had to be killed.
    int waitExit(std::chrono::milliseconds timeout);

    std::vector<uint8_t> rawOutput() const;
    std::string report() const;
    // A number field of the JSON report (top level or inside one object: "bursts.count").
    double reportNumber(const std::string& key) const;
    bool reportFlag(const std::string& key) const;

private:
    std::string dir_;
    int pid_ = -1;
    uint16_t port_ = 0;
};

// The path of the velmora-sink program of this build.
std::string sinkProgram();

}  // namespace engine_test
