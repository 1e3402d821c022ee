// Fix finds the longest cycle that fits by bisection. Here the original step-wise search
// (lower the cycle 1 µs at a time) is the reference: both must give identical profiles over a
// sweep of formats, packet sizes, counts, count limits and cycles (FixAuto only chooses among
// Fix's answers for growing count limits). And the input that made the step-wise search run
// for minutes inside start now ends.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "profiles/ProfileFixture.h"

using profiles_test::pcm;
using VELMORA::ProfileCalculator;
using VELMORA::ProfileEntry;
using VELMORA::StreamFormat;

namespace {

// The step-wise original.
bool stepwiseFix(const ProfileCalculator& c, uint32_t& cycleUs, uint32_t countLimit, bool fixedSize,
                 ProfileEntry& out) {
    const uint32_t maxCount = countLimit != 0 ? std::min<uint32_t>(countLimit, c.packDataCount) : c.packDataCount;
    const uint64_t limit = uint64_t{c.packDataSize} * maxCount;
    const uint64_t bps = c.bytesPerSecond();
    const uint32_t fs = c.frameSize();
    if (limit == 0 || bps == 0 || fs == 0 || cycleUs == 0) return false;
    uint64_t perCycle = 0;
    for (;;) {
        const float bytes = static_cast<float>(bps) / (1000000.0f / static_cast<float>(cycleUs)) * 1.03f;
        const float up = std::ceil(bytes);
        perCycle = (static_cast<uint64_t>(up) + fs - 1) / fs * fs;
        if (perCycle < limit) break;
        if (cycleUs <= 1) return false;
        --cycleUs;
    }
    const uint64_t count = std::max<uint64_t>(1, (perCycle + c.packDataSize - 1) / c.packDataSize);
    const uint64_t frames = ((bps / fs) << 14) * (cycleUs / count) / 1000000;
    out = ProfileEntry{cycleUs, 0, static_cast<uint32_t>(fs * ((frames + 16383 + ((frames * 491) >> 14)) >> 14)),
                       static_cast<uint32_t>(frames), static_cast<uint16_t>(count),
                       fixedSize ? ProfileEntry::modeFixFixedSize : ProfileEntry::modeFix};
    return true;
}

}  // namespace

TEST(FixSearch, BisectionGivesTheStepwiseProfilesOverASweep) {
    const StreamFormat formats[] = {pcm(StreamFormat::typeInt16, 2, 44100), pcm(StreamFormat::typeInt24, 6, 96000),
                                    pcm(StreamFormat::typeInt32, 8, 192000),
                                    pcm(StreamFormat::typeFloat64, 16, 1536000)};
    size_t compared = 0;
    for (const StreamFormat& format : formats) {
        for (uint16_t size : {8, 96, 1428, 8928}) {
            for (uint16_t count : {1, 3, 64}) {
                for (uint32_t cycle : {1u, 7u, 400u, 1000u, 2903u, 10000u}) {
                    ProfileCalculator c;
                    c.format = format;
                    c.packDataSize = size;
                    c.packDataCount = count;
                    SCOPED_TRACE(testing::Message() << "format " << format.value() << " size " << size << " count "
                                                    << count << " cycle " << cycle);
                    for (uint32_t countLimit : {0u, 1u, 2u, 3u, 5u, 64u}) {
                        for (bool fixedSize : {false, true}) {
                            ProfileEntry want{};
                            uint32_t wantCycle = cycle, gotCycle = cycle;
                            const bool wantOk = stepwiseFix(c, wantCycle, countLimit, fixedSize, want);
                            ASSERT_EQ(c.Fix(gotCycle, countLimit, fixedSize), wantOk) << "limit " << countLimit;
                            EXPECT_EQ(gotCycle, wantCycle);
                            if (wantOk) {
                                ASSERT_EQ(c.result, want) << "limit " << countLimit;
                            }
                            ++compared;
                        }
                    }
                }
            }
        }
    }
    std::printf("[ measure  ] %zu profiles identical to the step-wise search\n", compared);
}

// A sink's largest PROFILE maximum (655,350 µs) and burst (65,535 packets) with 16 channels
// of 64-bit PCM at 768 kHz: the step-wise FixAuto took some 10^10 steps inside start.
TEST(FixSearch, WorstCaseOfStartEnds) {
    auto search = std::async(std::launch::async, [] {
        ProfileCalculator c;
        c.format = pcm(StreamFormat::typeFloat64, 16, 768000);
        c.packDataSize = 1428;
        c.packDataCount = 0xFFFF;
        return c.FixAuto(655350, false) ? c.result.cycle : 0u;
    });
    if (search.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        std::fprintf(stderr, "FixAuto still searching after 20 s\n");
        std::_Exit(1);   // the search cannot be stopped; neither can the test wait for it
    }
    EXPECT_GT(search.get(), 0u);
}
