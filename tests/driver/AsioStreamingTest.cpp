// The driver streaming to the in-process sink on [::1] as hosts lead and mislead it: calls
// made from inside bufferSwitch, and teardown while the stream is still being opened.

#include "SinkInit.h"
#include "driver/SessionRecovery.h"

using namespace drivertest;

namespace {

// What the hook's own driver call answered.
std::atomic<int> hookResult{-1};
IASIO* hookDriver = nullptr;
const auto& switches = Host::switches;

class AsioStreaming : public SinkDriverTest {
protected:
    AsioStreaming() { hookDriver = driver.asio; }

    // What init learns of the sink, then buffers for two channels of 32-bit PCM.
    void prepare() {
        ASSERT_NO_FATAL_FAILURE(initAgainstSink());
        ASSERT_EQ(driver->createBuffers(infos, 2, frames, &Host::callbacks), ASE_OK);
    }

    // The n-th buffer switch (n > 0) runs `call` on the driver from inside it.
    using DriverCall = ASIOError (*)(IASIO*);
    template <int n>
    static void callInside(DriverCall call) {
        static DriverCall pending = nullptr;
        pending = call;
        Host::during = [](std::int32_t) {
            if (switches == n) hookResult = pending(hookDriver);
        };
    }
};

// stop or disposeBuffers from inside bufferSwitch stop the stream with its closing
// handshake; start from there is refused; the host can start again afterwards.
TEST_F(AsioStreaming, CallsFromInsideBufferSwitch) {
    struct Case {
        const char* name;
        DriverCall call;
        ASIOError answer;
        bool stops;
    };
    for (const Case& c : {Case{"stop", [](IASIO* a) { return a->stop(); }, ASE_OK, true},
                          Case{"disposeBuffers", [](IASIO* a) { return a->disposeBuffers(); }, ASE_OK, true},
                          Case{"start", [](IASIO* a) { return a->start(); }, ASE_NotPresent, false}}) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(prepare());
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
            EXPECT_EQ(callbacksAddedDuring(std::chrono::milliseconds(100)), 0) << "no callback after the stop";
        } else {
            EXPECT_TRUE(eventually([] { return switches.load() > 20; })) << "the stream goes on";
        }
        EXPECT_EQ(driver->stop(), ASE_OK);
        EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    }
}

// A sink that never answers CONNECT_REQ (the worker would wait 3 x 10 s): stop, and the
// release of the object, return at once.
TEST_F(AsioStreaming, StopWhileTheStreamIsBeingOpenedReturnsPromptly) {
    ASSERT_NO_FATAL_FAILURE(prepare());
    sink.answerConnect = false;
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(eventually([&] { return sink.count(VELMORA::command::connectReq) > 0; }));
    EXPECT_LT(timed([&] { EXPECT_EQ(driver->stop(), ASE_OK); }), 2000);
    EXPECT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(eventually([&] { return sink.count(VELMORA::command::connectReq) > 1; }));
    EXPECT_LT(timed([&] { EXPECT_EQ(driver->disposeBuffers(), ASE_OK); }), 2000);
    EXPECT_EQ(switches.load(), 0);
}

// The stream ends by itself (the sink goes silent or closes it): the host is asked for a
// reset once, from the driver's own thread, and its callbacks go on at the block rate
// meanwhile; a host that does not take the request keeps getting them; stop, also from
// inside the host's reset request, ends them at once.
TEST_F(AsioStreaming, StreamEndedBySinkKeepsTimeAndAsksForAReset) {
    struct Case {
        const char* name;
        bool sinkCloses;             // DSICONNECT_ANS, else the sink stops answering
        bool takesReset, stopsInsideReset;
        const char* message;
    };
    // The process's back-off grows with every loss: 0, 1 and 2 s before the request here.
    for (const Case& c : {Case{"silent", false, true, false, "sink stopped answering"},
                          Case{"closed", true, true, true, "sink closed the stream"},
                          Case{"no reset", true, false, false, "sink closed the stream"}}) {
        SCOPED_TRACE(c.name);
        hookResult = -1;
        sink.answerInfo = true;
        ASSERT_NO_FATAL_FAILURE(prepare());
        Host::takesReset = c.takesReset;
        if (c.stopsInsideReset) Host::duringReset = [] { hookResult = hookDriver->stop(); };
        ASSERT_EQ(driver->start(), ASE_OK);
        ASSERT_TRUE(eventually([] { return switches.load() > 20; }));
        // The stream's counters carry the process's losses so far and this stream's recovery.
        SessionRecovery& record = SessionRecovery::process();
        EXPECT_TRUE(eventually([&] {
            return d.sync.counters.get(VELMORA::counter::sessionEnds) == static_cast<int64_t>(record.sessionEnds()) &&
                   d.sync.counters.get(VELMORA::counter::recoveries) == static_cast<int64_t>(record.recoveries());
        })) << "ends " << d.sync.counters.get(VELMORA::counter::sessionEnds) << " of " << record.sessionEnds();
        Host::lastTicks = Host::longestGapTicks = 0;
        if (c.sinkCloses) sink.sendFrame(false, VELMORA::command::disconnectAns, 0, 0);
        else sink.answerInfo = false;
        ASSERT_TRUE(eventually([&] { return d.sync.state.load() == VELMORA::stateIdle; }));

        // Time goes on: 256 frames at 44.1 kHz is 5.8 ms, about 172 callbacks a second.
        const int added = callbacksAddedDuring(std::chrono::seconds(1));
        EXPECT_GT(added, 86) << "callbacks at half the block rate or less";
        EXPECT_LT(added, 260) << "callbacks far above the block rate";
        EXPECT_EQ(errorMessage(driver.asio), c.message);

        ASSERT_TRUE(eventually([] { return Host::selectorQueries.load() > 0; }, std::chrono::seconds(4)));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(Host::selectorQueries.load(), 1);
        EXPECT_EQ(Host::resetRequests.load(), c.takesReset ? 1 : 0) << "one request per loss";
        if (c.stopsInsideReset) {
            EXPECT_EQ(hookResult.load(), ASE_OK) << "stop from inside the reset request";
        } else {
            const int going = switches.load();
            EXPECT_TRUE(eventually([&] { return switches.load() > going + 20; })) << "callbacks go on";
        }
        EXPECT_LT(Host::longestGapMs(), 250) << "the host went a quarter second without a callback";

        EXPECT_LT(timed([&] {
                      EXPECT_EQ(driver->stop(), ASE_OK);
                      EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
                  }),
                  1000);
        EXPECT_EQ(callbacksAddedDuring(std::chrono::milliseconds(50)), 0) << "no callback after stop";
    }
}

}  // namespace

// Calls out of order or repeated, as careless hosts make them: each answers with its result
// code, nothing hangs, and the object streams again. (Calls after the sink vanished are the
// stream-end test's.)
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
}
