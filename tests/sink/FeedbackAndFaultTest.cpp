// The sink's clock model as the driver decodes it, burst timing, and the fault injector.
#include "BurstTiming.h"
#include "ClockFeedback.h"
#include "FaultInjector.h"
#include "sync/SyncFeedback.h"

#include <gtest/gtest.h>

namespace sink {
namespace {

// The driver's own reading of a feedback triple (2^-14 units; > 0: the driver is too fast).
int32_t decode(const Feedback& f) {
    return VELMORA::decodeFeedback(static_cast<uint16_t>(f.a), static_cast<uint16_t>(f.b), static_cast<uint16_t>(f.c))
        .value;
}

// Feeds the model exactly the nominal rate for `seconds` and returns the last decoded sample.
int32_t runNominal(FeedbackKind kind, double ppm, double seconds) {
    ClockFeedback clock(kind, ppm);
    clock.setRate(48000);
    int32_t last = 0;
    const uint64_t stepUs = 1000;
    for (uint64_t t = stepUs; t <= static_cast<uint64_t>(seconds * 1e6); t += stepUs) {
        clock.onFrames(48, t);
        if (t % 100000 == 0) {
            last = decode(clock.sample(t));
            EXPECT_EQ(last, clock.lastSample());
        }
    }
    return last;
}

TEST(ClockFeedback, FastSinkAsksForMoreAndSlowSinkForLessInEveryKind) {
    for (FeedbackKind kind : {FeedbackKind::Level, FeedbackKind::Signed, FeedbackKind::Ratio, FeedbackKind::None}) {
        SCOPED_TRACE(static_cast<int>(kind));
        const int want = kind == FeedbackKind::None ? 0 : 1;   // None sends nothing usable
        const auto sign = [](int32_t v) { return (v > 0) - (v < 0); };
        EXPECT_EQ(sign(runNominal(kind, 2000.0, 2.0)), -want);   // drains faster: send faster
        EXPECT_EQ(sign(runNominal(kind, -2000.0, 2.0)), want);
        EXPECT_EQ(runNominal(kind, 0.0, 2.0), 0);
    }
}

TEST(ClockFeedback, LevelSampleMeasuresExcessAgainstFirstAnswer) {
    ClockFeedback clock(FeedbackKind::Level, 0.0);
    clock.setRate(48000);
    clock.onFrames(480, 1000);
    EXPECT_EQ(clock.sample(1000).a, 8192);        // the first answer sets the target level
    clock.onFrames(48, 1000);                      // 1 ms of audio more than the clock played
    const Feedback f = clock.sample(1000);
    EXPECT_EQ(f.a, 8192 + 8);                      // 1 ms of a second is 16 / 16384
    EXPECT_EQ(decode(f), 16);
}

TEST(BurstTiming, IntervalsBetweenBurstStarts) {
    BurstTiming t;
    for (int b = 0; b < 101; ++b) {
        const uint64_t start = static_cast<uint64_t>(b) * 1000 + (b == 50 ? 300 : 0);
        for (int p = 0; p < 3; ++p) t.onPacket(start + static_cast<uint64_t>(p) * 10, p == 2);
    }
    const BurstSummary s = t.summary(1000);
    EXPECT_EQ(s.bursts, 101u);
    EXPECT_NEAR(s.meanUs, 1000.0, 0.01);
    EXPECT_EQ(s.p50Us, 1000.0);
    EXPECT_EQ(s.maxDeviationUs, 300.0);   // 1300 before burst 50, 700 after it
    EXPECT_EQ(s.latenessMaxUs, 300.0);    // burst 50 only: burst 51 is back on its deadline
    EXPECT_EQ(s.latenessP50Us, 0.0);
    EXPECT_EQ(s.oversized, 0u);
}

// A burst a whole cycle late restarts the deadlines from itself (as the sender's pacing
// does); the doubled burst that catches up counts as oversized.
TEST(BurstTiming, LatenessAgainstTheSendersDeadlines) {
    BurstTiming t;
    const uint64_t starts[] = {0, 1000, 2000, 4500, 5500, 6600, 7500};
    for (uint64_t start : starts) {
        const int packets = start == 5500 ? 2 : 1;
        for (int p = 0; p < packets; ++p) t.onPacket(start + static_cast<uint64_t>(p), p + 1 == packets, 100);
    }
    const BurstSummary s = t.summary(1000);
    EXPECT_EQ(s.latenessMaxUs, 1500.0);   // 4500 against 3000
    EXPECT_EQ(s.usualPackets, 1u);
    EXPECT_EQ(s.oversized, 1u);
    // 6600 is 100 late against 6500; 7500 arrives before 7600 and becomes the deadline.
    EXPECT_EQ(t.summary(0).latenessMaxUs, 0.0);   // no cycle given: no lateness
}

TEST(FaultInjector, DropListHitsFirstArrivalsOnlyAndRatesStayInWindow) {
    FaultConfig c;
    c.dropPackets = {1, 3, 4};
    FaultInjector f(c);
    // seq, isNew -> action, resent
    const struct {
        uint16_t seq;
        bool isNew;
        FaultAction action;
        bool resent;
    } arrivals[] = {
        {0, true, FaultAction::Deliver, false},    // index 0
        {1, true, FaultAction::Drop, false},       // index 1
        {0, false, FaultAction::Deliver, false},   // a copy passes
        {2, true, FaultAction::Deliver, false},    // index 2
        {1, false, FaultAction::Deliver, true},    // 1 comes back through a resend
        {3, true, FaultAction::Drop, false},       // index 3
        {3, true, FaultAction::Deliver, true},     // 3's resend before anything after it
        {4, true, FaultAction::Drop, false},       // index 4: the resend was no first arrival
    };
    for (const auto& a : arrivals) {
        const FaultInjector::Decision d = f.decide(a.seq, a.isNew);
        EXPECT_EQ(d.action, a.action) << a.seq;
        EXPECT_EQ(d.resent, a.resent) << a.seq;
    }
    EXPECT_EQ(f.dropped(), 3u);

    FaultConfig r;
    r.dropRate = 0.05;
    r.duplicateRate = 0.05;
    r.faultFrom = 100;
    r.faultUntil = 10100;
    r.seed = 7;
    FaultInjector a(r), b(r);
    int drops = 0, dups = 0;
    for (int i = 0; i < 10200; ++i) {
        const FaultAction x = a.decide(static_cast<uint16_t>(i), true).action;
        EXPECT_EQ(x, b.decide(static_cast<uint16_t>(i), true).action);   // reproducible from the seed
        if (i < 100 || i >= 10100) {
            EXPECT_EQ(x, FaultAction::Deliver);
        }
        drops += x == FaultAction::Drop;
        dups += x == FaultAction::Duplicate;
    }
    EXPECT_NEAR(drops, 500, 100);
    EXPECT_NEAR(dups, 475, 100);
}

}  // namespace
}  // namespace sink
