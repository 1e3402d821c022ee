#pragma once
// A minimal ASIO host: loads the driver module, creates driver objects through its class
// factory, gives them a private settings file and records what the driver's callbacks do.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "com/Asio.h"

namespace lifecycle {

using Clock = std::chrono::steady_clock;

// What the host's callbacks saw. ASIO callbacks carry no context, so there is one per process.
struct CallbackLog {
    std::atomic<uint64_t> switches{0};
    // Of the first callback after the last reset: clock ticks (0: none yet), the sample position.
    std::atomic<int64_t> firstSwitchTicks{0};
    std::atomic<uint64_t> firstPosition{~uint64_t{0}};
    // Callbacks whose buffer index broke the sequence 0, 1, 0, 1, ... that begins with every run.
    std::atomic<uint64_t> indexFaults{0};
    std::atomic<int> lastIndex{-1};
    // The longest time between two callbacks since the last reset (clock ticks).
    std::atomic<int64_t> lastSwitchTicks{0}, longestGapTicks{0};
    // The driver's reset requests: the host takes them unless told otherwise; `duringReset`
    // runs inside the request (a host should not call the driver there), then it is counted.
    std::atomic<bool> takesReset{true};
    std::atomic<uint64_t> resetRequests{0};
    void (*duringReset)() = nullptr;

    void reset();
    double longestGapMs() const;
    // Waits until at least `count` callbacks were made since construction; false on timeout.
    bool waitForSwitches(uint64_t count, std::chrono::milliseconds limit) const;
};
CallbackLog& callbackLog();

// The module's DllCanUnloadNow: 0 (S_OK) when no object or lock of it is alive.
HRESULT moduleCanUnloadNow();

double millisecondsSince(Clock::time_point since);

// One driver object, led through init and createBuffers like a two-channel host does.
class HostDriver {
public:
    HostDriver();
    ~HostDriver();
    HostDriver(const HostDriver&) = delete;
    HostDriver& operator=(const HostDriver&) = delete;

    // false with error() when the module or its class factory fails.
    bool created() const { return driver_ != nullptr; }
    // init, getChannels, getBufferSize, setSampleRate 44100 and createBuffers for two outputs.
    bool prepare();
    const std::string& error() const { return error_; }

    // Creates a driver object and prepares it, again every quarter second while init fails,
    // until `limit`: the host's answer to a reset request after it released the last one.
    bool prepareRetrying(std::chrono::milliseconds limit);
    ASIOError start() { return driver_->start(); }
    ASIOError stop() { return driver_->stop(); }
    ASIOError disposeBuffers();
    // Gives up the host's reference; the driver object goes with it. Returns the count left.
    ULONG release();
    uint64_t samplePosition();
    // Frames per host buffer half: the driver's preferred size.
    std::int32_t frames() const { return frames_; }

private:
    void create();
    IASIO* driver_ = nullptr;
    std::array<ASIOBufferInfo, 2> buffers_{};
    ASIOCallbacks callbacks_{};
    std::int32_t frames_ = 0;
    std::string error_;
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
