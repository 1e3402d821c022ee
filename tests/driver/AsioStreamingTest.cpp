// The driver streaming to the in-process sink on [::1] as hosts lead and mislead it: calls
// made from inside bufferSwitch, and teardown while the stream is still being opened.

#include <atomic>
#include <chrono>
#include <thread>

#include "DriverHarness.h"
#include "SinkInit.h"
#include "driver/SessionRecovery.h"

using namespace drivertest;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::int32_t frames = 256;

// Callbacks seen by the host, and what the hook's own driver call answered.
std::atomic<int> switches{0};
std::atomic<int> hookResult{-1};
IASIO* hookDriver = nullptr;

template <class Cond>
bool eventually(Cond cond, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    for (const auto end = Clock::now() + limit; !cond();) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class AsioStreaming : public DriverTest {
protected:
    AsioStreaming() {
        switches = 0;
        hookResult = -1;
        hookDriver = driver.asio;
    }

    // What init learns of the sink, then buffers for two channels of 32-bit PCM.
    void prepare(ASIOCallbacks* callbacks = &Host::callbacks) {
        ASSERT_NO_FATAL_FAILURE(initAgainstSink(d, sink));
        Host::reset(infos, frames * 4);
        ASSERT_EQ(driver->createBuffers(infos, 2, frames, callbacks), ASE_OK);
    }

    // Every buffer switch counts; the n-th one (n > 0) runs `call` on the driver from inside it.
    template <int n>
    static void callInside(ASIOError (*call)(IASIO*)) {
        static ASIOError (*pending)(IASIO*) = nullptr;
        pending = call;
        Host::during = [](std::int32_t) {
            if (++switches == n) hookResult = pending(hookDriver);
        };
    }

    synctest::FakeSink sink;
    ASIOBufferInfo infos[2] = {{0, 0, {}}, {0, 1, {}}};
};

using DriverCall = ASIOError (*)(IASIO*);
constexpr DriverCall stopCall = [](IASIO* a) { return a->stop(); };
constexpr DriverCall disposeCall = [](IASIO* a) { return a->disposeBuffers(); };
constexpr DriverCall startCall = [](IASIO* a) { return a->start(); };

// stop or disposeBuffers from inside bufferSwitch stop the stream with its closing
// handshake; start from there is refused; the host can start again afterwards.
TEST_F(AsioStreaming, CallsFromInsideBufferSwitch) {
    struct Case {
        const char* name;
        DriverCall call;
        ASIOError answer;
        bool stops;
    };
    for (const Case& c : {Case{"stop", stopCall, ASE_OK, true}, Case{"disposeBuffers", disposeCall, ASE_OK, true},
                          Case{"start", startCall, ASE_NotPresent, false}}) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(prepare());
        switches = 0;
        hookResult = -1;
        callInside<5>(c.call);
        const size_t closes = sink.count(VELMORA::command::disconnectReq);
        ASSERT_EQ(driver->start(), ASE_OK);
        ASSERT_TRUE(eventually([] { return hookResult.load() != -1; }));
        EXPECT_EQ(hookResult.load(), c.answer);
        if (c.stops) {
            ASSERT_TRUE(eventually([&] { return d.sync.state.load() == VELMORA::stateIdle; }));
            // A status message crossing DSICONNECT_REQ costs an attempt: one or more requests.
            EXPECT_GT(sink.count(VELMORA::command::disconnectReq), closes) << "the closing handshake";
            const int stoppedAt = switches.load();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            EXPECT_EQ(switches.load(), stoppedAt) << "no callback after the stop";
        } else {
            EXPECT_TRUE(eventually([] { return switches.load() > 20; })) << "the stream goes on";
        }
        EXPECT_EQ(driver->stop(), ASE_OK);
        EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    }
    // The object streams again after all of it.
    ASSERT_NO_FATAL_FAILURE(prepare());
    switches = 0;
    callInside<0>(nullptr);
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(eventually([] { return switches.load() > 20; }));
    EXPECT_EQ(driver->stop(), ASE_OK);
}

// A sink that never answers CONNECT_REQ (the worker would wait 3 x 10 s): stop, and the
// release of the object, return at once.
TEST_F(AsioStreaming, StopWhileTheStreamIsBeingOpenedReturnsPromptly) {
    ASSERT_NO_FATAL_FAILURE(prepare());
    callInside<0>(nullptr);
    sink.answerConnect = false;
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(eventually([&] { return sink.count(VELMORA::command::connectReq) > 0; }));
    auto begin = Clock::now();
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_LT(Clock::now() - begin, std::chrono::seconds(2));
    EXPECT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(eventually([&] { return sink.count(VELMORA::command::connectReq) > 1; }));
    begin = Clock::now();
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_LT(Clock::now() - begin, std::chrono::seconds(2));
    EXPECT_EQ(switches.load(), 0);
}

// A host that records the driver's messages; it takes reset requests unless told otherwise,
// and may run a driver call from inside the reset request (hosts should not, some do).
struct MessageHost {
    static inline std::atomic<bool> takesReset{true};
    static inline std::atomic<int> selectorQueries{0}, resetRequests{0};
    static inline DriverCall duringReset = nullptr;
    static std::int32_t asioMessage(std::int32_t selector, std::int32_t value, void*, double*) {
        if (selector == kAsioSelectorSupported && value == kAsioResetRequest) {
            ++selectorQueries;
            return takesReset ? 1 : 0;
        }
        if (selector != kAsioResetRequest) return 0;
        ++resetRequests;
        if (duringReset) hookResult = duringReset(hookDriver);
        return 1;
    }
    static inline ASIOCallbacks callbacks{&Host::bufferSwitch, &Host::sampleRateDidChange, &asioMessage, nullptr};
};

// Longest time between two host callbacks since the last reset of the clock.
std::atomic<int64_t> lastSwitchUs{0}, longestGapUs{0};
int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

// The stream ends by itself (the sink goes silent or closes it): the host is asked for a
// reset once, from the driver's own thread, and its callbacks go on at the block rate
// meanwhile; a host that does not take the request keeps getting them; stop, also from
// inside the host's reset request, ends them at once.
TEST_F(AsioStreaming, StreamEndedBySinkKeepsTimeAndAsksForAReset) {
    struct Case {
        const char* name;
        bool sinkCloses;             // DSICONNECT_ANS, else the sink stops answering
        bool takesReset;
        DriverCall duringReset;
        const char* message;
    };
    // The process's back-off grows with every loss: 0, 1 and 2 s before the request here.
    for (const Case& c : {Case{"silent", false, true, nullptr, "sink stopped answering"},
                          Case{"closed", true, true, stopCall, "sink closed the stream"},
                          Case{"no reset", true, false, nullptr, "sink closed the stream"}}) {
        SCOPED_TRACE(c.name);
        MessageHost::takesReset = c.takesReset;
        MessageHost::selectorQueries = MessageHost::resetRequests = 0;
        MessageHost::duringReset = c.duringReset;
        hookResult = -1;
        sink.answerInfo = true;
        ASSERT_NO_FATAL_FAILURE(prepare(&MessageHost::callbacks));
        Host::during = [](std::int32_t) {
            const int64_t now = nowUs(), last = lastSwitchUs.exchange(now);
            if (last != 0 && now - last > longestGapUs) longestGapUs = now - last;
            ++switches;
        };
        switches = 0;
        ASSERT_EQ(driver->start(), ASE_OK);
        ASSERT_TRUE(eventually([] { return switches.load() > 20; }));
        // The stream's counters carry the process's losses so far and this stream's recovery.
        SessionRecovery& record = SessionRecovery::process();
        EXPECT_TRUE(eventually([&] {
            return d.sync.counters.get(VELMORA::counter::sessionEnds) == static_cast<int64_t>(record.sessionEnds()) &&
                   d.sync.counters.get(VELMORA::counter::recoveries) == static_cast<int64_t>(record.recoveries());
        })) << "ends " << d.sync.counters.get(VELMORA::counter::sessionEnds) << " of " << record.sessionEnds();
        lastSwitchUs = longestGapUs = 0;
        if (c.sinkCloses) sink.sendFrame(false, VELMORA::command::disconnectAns, 0, 0);
        else sink.answerInfo = false;
        ASSERT_TRUE(eventually([&] { return d.sync.state.load() == VELMORA::stateIdle; }));

        // Time goes on: 256 frames at 44.1 kHz is 5.8 ms, about 172 callbacks a second.
        const int before = switches.load();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        EXPECT_GT(switches.load() - before, 86) << "callbacks at half the block rate or less";
        EXPECT_LT(switches.load() - before, 260) << "callbacks far above the block rate";
        char message[128] = {};
        driver->getErrorMessage(message);
        EXPECT_STREQ(message, c.message);

        ASSERT_TRUE(eventually([] { return MessageHost::selectorQueries.load() > 0; }, std::chrono::seconds(4)));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(MessageHost::selectorQueries.load(), 1);
        EXPECT_EQ(MessageHost::resetRequests.load(), c.takesReset ? 1 : 0) << "one request per loss";
        if (c.duringReset) {
            EXPECT_EQ(hookResult.load(), ASE_OK) << "stop from inside the reset request";
        } else {
            const int going = switches.load();
            EXPECT_TRUE(eventually([&] { return switches.load() > going + 20; })) << "callbacks go on";
        }
        EXPECT_LT(longestGapUs.load(), 250000) << "the host went a quarter second without a callback";

        const auto begin = Clock::now();
        EXPECT_EQ(driver->stop(), ASE_OK);
        EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
        EXPECT_LT(Clock::now() - begin, std::chrono::seconds(1));
        const int stoppedAt = switches.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(switches.load(), stoppedAt) << "no callback after stop";
    }
}

}  // namespace

// Calls out of order or repeated, as careless hosts make them, and calls after the sink
// vanished: each answers with its result code, nothing hangs, and the object streams again.
TEST_F(AsioStreaming, CallsOutOfOrderOrRepeated) {
    auto flows = [] {
        const int before = switches.load();
        return eventually([&] { return switches.load() > before + 10; });
    };
    EXPECT_EQ(driver->start(), ASE_NotPresent) << "start before init";
    EXPECT_EQ(driver->stop(), ASE_OK) << "stop before init";
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK) << "disposeBuffers without buffers";
    EXPECT_EQ(driver->createBuffers(infos, 2, frames, &Host::callbacks), ASE_InvalidParameter)
        << "createBuffers before init";
    EXPECT_EQ(driver->start(), ASE_NotPresent) << "start after a failed createBuffers";
    ASSERT_NO_FATAL_FAILURE(prepare());
    callInside<0>(nullptr);
    EXPECT_EQ(driver->createBuffers(infos, 2, frames, &Host::callbacks), ASE_OK) << "createBuffers twice";
    EXPECT_EQ(driver->stop(), ASE_OK) << "stop before start";
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_EQ(driver->start(), ASE_OK) << "start while running restarts";
    EXPECT_TRUE(flows());
    EXPECT_EQ(driver->createBuffers(infos, 2, frames, &Host::callbacks), ASE_OK) << "createBuffers while running";
    EXPECT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(flows());
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK) << "disposeBuffers while running";
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK) << "disposeBuffers twice";
    EXPECT_EQ(driver->start(), ASE_NotPresent) << "start without buffers";
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->stop(), ASE_OK) << "stop twice";

    // The sink falls silent while playing: the stream ends by itself (info timeout 1 s);
    // what the host calls then returns at once, and a sink that is back is streamed to again.
    ASSERT_EQ(driver->createBuffers(infos, 2, frames, &Host::callbacks), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(flows());
    sink.answerInfo = false;
    sink.answerDisconnect = false;
    EXPECT_TRUE(eventually([&] { return d.sync.state.load() == VELMORA::stateIdle; }));
    const auto begin = Clock::now();
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_LT(Clock::now() - begin, std::chrono::seconds(1));
    sink.answerInfo = true;
    sink.answerDisconnect = true;
    ASSERT_EQ(driver->createBuffers(infos, 2, frames, &Host::callbacks), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(flows());
    EXPECT_EQ(driver->stop(), ASE_OK);
}
