// velmora-check across gaps: each run must start exactly at the step velmora-play reported and
// hold no wrong byte; silence may lie between runs.

#include <gtest/gtest.h>

#include "velmora-check/CaptureCheck.h"

namespace {

std::vector<uint8_t> capture(const WireLayout& l, std::initializer_list<std::pair<uint64_t, uint64_t>> runs) {
    std::vector<uint8_t> bytes, step;
    silenceStep(l, step);
    for (int i = 0; i < 3; ++i) bytes.insert(bytes.end(), step.begin(), step.end());
    for (auto [first, count] : runs) {
        for (uint64_t s = first; s < first + count; ++s) {
            expectedStep(l, s, step);
            bytes.insert(bytes.end(), step.begin(), step.end());
        }
        silenceStep(l, step);
        for (int i = 0; i < 5; ++i) bytes.insert(bytes.end(), step.begin(), step.end());
    }
    return bytes;
}

TEST(CaptureCheck, RunsResumeExactlyWhereThePlayerSaid) {
    const WireLayout l;   // two channels of 32-bit samples
    const auto twoRuns = capture(l, {{0, 100}, {500, 80}});
    auto broken = twoRuns;
    broken[broken.size() - 5 * 8 - 3] ^= 1;   // inside the second run's last step
    struct Case {
        const char* name;
        const std::vector<uint8_t>& bytes;
        std::vector<uint64_t> resumeAt;
        bool exact;
    } cases[] = {
        {"as reported", twoRuns, {500}, true},
        {"no gap reported", twoRuns, {}, false},
        {"another step", twoRuns, {501}, false},
        {"before the first run ended", twoRuns, {50}, false},
        {"a gap too many", twoRuns, {500, 900}, false},
        {"wrong byte after the gap", broken, {500}, false},
    };
    for (const Case& c : cases) {
        const CheckResult r = checkCapture(l, c.bytes, {}, c.resumeAt);
        EXPECT_EQ(r.exact, c.exact) << c.name << ": " << r.message;
        if (c.exact) {
            EXPECT_EQ(r.steps, 180u);
        }
    }
}

}  // namespace
