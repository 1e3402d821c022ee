// The process's recovery record: the back-off between tries to reach a lost sink, and when a
// stream that played long enough starts the sequence over.

#include <gtest/gtest.h>

#include "driver/SessionRecovery.h"

namespace {

using namespace std::chrono_literals;
using VELMORA::StreamEnd;

TEST(SessionRecovery, BackoffGrowsToTenSecondsAndRestartsAfterAStableStream) {
    for (auto [failures, wait] : {std::pair{1u, 0ms}, {2u, 1000ms}, {3u, 2000ms}, {4u, 4000ms}, {5u, 8000ms},
                                  {6u, 10000ms}, {40u, 10000ms}})
        EXPECT_EQ(SessionRecovery::backoff(failures), wait) << failures << " failures";

    SessionRecovery r;
    const auto t0 = SessionRecovery::Clock::now();
    EXPECT_EQ(r.waitBeforeAttempt(t0), 0ms) << "no outage, no wait";
    EXPECT_EQ(r.streamLost(StreamEnd::sinkSilent, t0), t0) << "the first reset request goes at once";
    r.attemptFailed(t0 + 100ms);
    EXPECT_EQ(r.waitBeforeAttempt(t0 + 100ms), 1000ms);
    r.attemptFailed(t0 + 1100ms);
    EXPECT_EQ(r.waitBeforeAttempt(t0 + 1600ms), 1500ms) << "2 s after the second failure";
    r.recovered(t0 + 3100ms);
    EXPECT_EQ(r.waitBeforeAttempt(t0 + 3100ms), 0ms);
    r.attemptFailed(t0 + 3200ms);
    EXPECT_EQ(r.waitBeforeAttempt(t0 + 3200ms), 0ms) << "no outage: nothing counts";
    // Lost again before the stream was stable: the sequence goes on (4th failure: 4 s).
    EXPECT_EQ(r.streamLost(StreamEnd::sinkClosed, t0 + 4s), t0 + 8s);
    r.recovered(t0 + 9s);
    // Lost after a stable stream: at once again.
    EXPECT_EQ(r.streamLost(StreamEnd::networkError, t0 + 15s), t0 + 15s);
    r.recovered(t0 + 16s);
    EXPECT_EQ(r.streamLost(StreamEnd::sinkSilent, t0 + 19s), t0 + 19s) << "three seconds of music were stable";
    EXPECT_EQ(r.sessionEnds(), 4u);
    EXPECT_EQ(r.recoveries(), 3u);
}

}  // namespace
