#pragma once
// The driver's life as hosts lead it, against the reference sink in the first sink namespace
// of the test network: one driver object made through the class factory at a time, led by a
// two-channel host (drivertest::Host, answering time info).

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "com/ClassFactory.h"
#include "driver/DriverHarness.h"
#include "engine/SinkProcess.h"
#include "find-net/TestNet.h"
#include "lifecycle/ProcessResources.h"

namespace lifecycle {

using namespace drivertest;
using engine_test::SinkProcess;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long a call that tears down streaming may take, generously for a busy machine.
constexpr double teardownLimitMs = 5000;

// What the runs between two samples left behind: printed, and nothing may grow. A leak of one
// object per run would show one allocation per run; a little is allowed for lazily grown caches.
inline void expectNothingLeft(const ProcessResources& before, const ProcessResources& after, const std::string& runs) {
    std::printf("[ measure  ] %s: threads %d -> %d, descriptors %d -> %d, VmRSS %lld -> %lld KiB, live allocations "
                "%lld -> %lld (%lld -> %lld bytes)\n",
                runs.c_str(), before.threads, after.threads, before.descriptors, after.descriptors,
                static_cast<long long>(before.residentKiB), static_cast<long long>(after.residentKiB),
                static_cast<long long>(before.liveAllocations), static_cast<long long>(after.liveAllocations),
                static_cast<long long>(before.liveBytes), static_cast<long long>(after.liveBytes));
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_EQ(after.descriptors, before.descriptors);
    EXPECT_LE(after.liveAllocations - before.liveAllocations, 10);
    EXPECT_LE(after.liveBytes - before.liveBytes, 64 * 1024);
}

class LifecycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        spaces_ = testnet::sinkNamespaces();
        if (spaces_.empty()) GTEST_SKIP() << "needs the test network (tests/netns/testnet.sh --sinks 1)";
    }

    // Starts the sink with `sinkOptions` and prepares a driver object reading `settings`.
    // Fails the test (and returns false) when any of it does not come up.
    bool bringUp(const std::string& settings, const std::vector<std::string>& sinkOptions = {}) {
        sinkOptions_ = sinkOptions;
        // VELMORA_LIFECYCLE_LOG=1 makes the driver log to UDP [::1]:19640 for diagnosis.
        settings_ = settings + (std::getenv("VELMORA_LIFECYCLE_LOG") ? "\r\nDebug=debug\r\n" : "\r\n");
        if (!startSink()) return false;
        const std::string error = newDriver();
        if (!error.empty()) ADD_FAILURE() << error;
        return error.empty();
    }

    // A fresh sink at the same address and port: the reference sink serves one stream only.
    bool startSink() {
        sink_.reset();
        sink_ = std::make_unique<SinkProcess>(spaces_.front(), sinkOptions_);
        if (!sink_->waitListening()) ADD_FAILURE() << "the sink did not come up";
        return sink_->port() != 0;
    }

    // A new driver object, led through init, getChannels, getBufferSize, setSampleRate 44100
    // and createBuffers for two outputs; what failed, empty when nothing did.
    std::string newDriver() {
        driver_.reset();
        driver_ = std::make_unique<drivertest::Driver>(settings_);
        return prepare();
    }
    std::string prepare() {
        IASIO* asio = driver_->asio;
        if (asio->init(nullptr) != 1) return "init failed: " + drivertest::errorMessage(asio);
        std::int32_t inputs = 0, outputs = 0, minSize = 0, maxSize = 0, granularity = 0;
        asio->getChannels(&inputs, &outputs);
        if (outputs < 2) return "the driver offers " + std::to_string(outputs) + " outputs";
        asio->getBufferSize(&minSize, &maxSize, &frames_, &granularity);
        if (asio->setSampleRate(44100.0) != ASE_OK) return "setSampleRate 44100 refused";
        Host::reset(infos_, 0, true);
        if (const ASIOError e = asio->createBuffers(infos_, 2, frames_, &Host::callbacks); e != ASE_OK)
            return "createBuffers failed: " + std::to_string(e);
        return {};
    }
    // Gives up the host's reference: the driver object goes with it.
    void release() { driver_.reset(); }

    // After stop: the sink saw the closing handshake and ended (it lingers 100 ms after it).
    bool sinkClosedCleanly() {
        if (sink_->waitExit(std::chrono::seconds(5)) == -1) {
            ADD_FAILURE() << "the sink still ran 5 s after stop: no closing handshake";
            return false;
        }
        if (!sink_->reportFlag("closing_handshake")) ADD_FAILURE() << "the sink ended without the closing handshake";
        return sink_->reportFlag("closing_handshake");
    }

    // Starts and waits until `switches` host callbacks have come (5 s at most).
    bool startAndFlow(int switches) {
        Host::reset(infos_, driver_->object().bufferBytes, true);
        startedAt_ = Clock::now();
        if ((*driver_)->start() != ASE_OK) {
            ADD_FAILURE() << "start refused";
            return false;
        }
        if (drivertest::eventually([&] { return Host::switches.load() >= switches; })) return true;
        ADD_FAILURE() << "blocks did not flow: " << Host::switches.load() << " callbacks in 5 s";
        return false;
    }
    // Milliseconds from the last start to the first callback of its run.
    double firstCallbackMs() const {
        return std::chrono::duration<double, std::milli>(Clock::time_point(Clock::duration(Host::firstTicks.load())) -
                                                         startedAt_).count();
    }
    IASIO* asio() const { return driver_->asio; }

    std::vector<std::string> spaces_;
    std::string settings_;
    std::vector<std::string> sinkOptions_;
    std::unique_ptr<SinkProcess> sink_;
    std::unique_ptr<drivertest::Driver> driver_;
    ASIOBufferInfo infos_[2] = {{0, 0, {}}, {0, 1, {}}};
    std::int32_t frames_ = 0;
    Clock::time_point startedAt_;
};

}  // namespace lifecycle
