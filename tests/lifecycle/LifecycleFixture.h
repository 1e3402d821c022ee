#pragma once
// Shared set-up: a sink in the first sink namespace, a settings folder, one prepared driver.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "lifecycle/LifecycleHost.h"
#include "lifecycle/SinkProcess.h"

namespace lifecycle {

// How long a call that tears down streaming may take, generously for a busy machine.
constexpr double teardownLimitMs = 5000;

// Runs `call` and returns how long it took in milliseconds.
template <typename Call>
double timed(Call&& call) {
    const auto begin = Clock::now();
    call();
    return millisecondsSince(begin);
}

// Callbacks counted now and again after `pause`: a stopped driver adds none.
inline uint64_t callbacksAddedDuring(std::chrono::milliseconds pause) {
    const uint64_t before = callbackLog().switches.load();
    std::this_thread::sleep_for(pause);
    return callbackLog().switches.load() - before;
}

class LifecycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        spaces_ = sinkNamespaces();
        if (spaces_.empty()) GTEST_SKIP() << "needs the test network (tests/netns/testnet.sh --sinks 1)";
    }

    void TearDown() override {
        host_.reset();
        sink_.reset();
        settings_.reset();
    }

    // Starts the sink with `sinkOptions`, writes the settings and prepares a driver object.
    // Fails the test (and returns false) when any of it does not come up.
    bool bringUp(std::vector<std::string> settingLines, const std::vector<std::string>& sinkOptions = {}) {
        sinkOptions_ = sinkOptions;
        if (!startSink()) return false;
        // VELMORA_LIFECYCLE_LOG=1 makes the driver log to UDP [::1]:19640 for diagnosis.
        if (std::getenv("VELMORA_LIFECYCLE_LOG")) settingLines.push_back("Debug=debug");
        settings_ = std::make_unique<SettingsFolder>(settingLines);
        host_ = std::make_unique<HostDriver>();
        if (!host_->created() || !host_->prepare()) {
            ADD_FAILURE() << "driver: " << host_->error();
            return false;
        }
        return true;
    }

    // A fresh sink at the same address and port: the reference sink serves one stream only.
    bool startSink() {
        sink_.reset();
        sink_ = std::make_unique<SinkProcess>(spaces_.front(), sinkOptions_);
        if (sink_->port() != 0) return true;
        ADD_FAILURE() << "the sink did not come up " << sink_->error();
        return false;
    }

    // After stop: the sink saw the closing handshake and ended (it lingers 100 ms after it).
    bool sinkClosedCleanly() {
        if (!sink_->waitForExit(std::chrono::seconds(5))) {
            ADD_FAILURE() << "the sink still runs 5 s after stop: no closing handshake";
            return false;
        }
        if (!sink_->sawClosingHandshake()) {
            ADD_FAILURE() << "the sink ended without the closing handshake";
            return false;
        }
        return true;
    }

    // Starts and waits until `switches` more host callbacks have come (5 s at most).
    bool startAndFlow(uint64_t switches) {
        CallbackLog& log = callbackLog();
        log.reset();
        runBase_ = log.switches.load();
        startedAt_ = Clock::now();
        if (host_->start() != ASE_OK) {
            ADD_FAILURE() << "start refused";
            return false;
        }
        if (!log.waitForSwitches(runBase_ + switches, std::chrono::seconds(5))) {
            ADD_FAILURE() << "blocks did not flow: " << log.switches.load() - runBase_ << " callbacks in 5 s";
            return false;
        }
        return true;
    }

    // Callbacks of the current run (since the last startAndFlow).
    uint64_t runSwitches() const { return callbackLog().switches.load() - runBase_; }
    // Milliseconds from the last start to the first callback of its run.
    double firstCallbackMs() const {
        const auto first = Clock::time_point(Clock::duration(callbackLog().firstSwitchTicks.load()));
        return std::chrono::duration<double, std::milli>(first - startedAt_).count();
    }

    std::vector<std::string> spaces_;
    uint64_t runBase_ = 0;
    Clock::time_point startedAt_;
    std::vector<std::string> sinkOptions_;
    std::unique_ptr<SinkProcess> sink_;
    std::unique_ptr<SettingsFolder> settings_;
    std::unique_ptr<HostDriver> host_;
};

}  // namespace lifecycle
