#pragma once
// The reference sink, run in the first sink namespace of the test network, and the driver's
// settings file for the host side.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace lifecycle {

// Sink namespace names from the test network (VELMORA_TESTNET_SINKS); empty outside it.
std::vector<std::string> sinkNamespaces();

class SinkProcess {
public:
    SinkProcess(const std::string& space, const std::vector<std::string>& options);
    ~SinkProcess();
    SinkProcess(const SinkProcess&) = delete;
    SinkProcess& operator=(const SinkProcess&) = delete;

    // True once the sink listens (at most 5 s).
    bool ready();
    // Sends `signal` and reaps the sink (SIGKILL after 3 s); idempotent.
    void stop(int signal);
    // True while the process has not ended (reaps it when it has).
    bool running();
    // Waits up to `limit` for the sink to end by itself; true when it did.
    bool waitForExit(std::chrono::milliseconds limit);
    // After the sink ended: its report says the driver ran the closing handshake.
    bool sawClosingHandshake() const;

private:
    std::filesystem::path folder_;
    pid_t pid_ = 0;
};

// A private XDG_CONFIG_HOME with "TOLVENIK Velmora/setting.inf" holding the factory version line
// and the given lines; removed on destruction. Driver objects read it when they are created.
class SettingsFolder {
public:
    explicit SettingsFolder(const std::vector<std::string>& lines);
    ~SettingsFolder();
    SettingsFolder(const SettingsFolder&) = delete;
    SettingsFolder& operator=(const SettingsFolder&) = delete;

private:
    std::filesystem::path folder_;
};

}  // namespace lifecycle
