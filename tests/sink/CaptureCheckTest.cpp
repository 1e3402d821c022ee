// velmora-check across gaps: each run must start exactly at the step velmora-play reported and
// hold no wrong byte; silence may lie between runs.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "velmora-check/CaptureCheck.h"

namespace {

// A capture of 32-bit stereo: runs of pattern steps, silence or a wrong step.
struct Span {
    enum Kind { pattern, silence, wrong } kind;
    uint64_t first, count;   // pattern: steps first..first + count - 1; else count steps
};

std::vector<uint8_t> captureOf(const WireLayout& layout, const std::vector<Span>& runs) {
    std::vector<uint8_t> bytes, step;
    for (const Span& run : runs) {
        for (uint64_t i = 0; i < run.count; ++i) {
            if (run.kind == Span::pattern) expectedStep(layout, run.first + i, step);
            else silenceStep(layout, step);
            if (run.kind == Span::wrong) step[3] ^= 0x10;
            bytes.insert(bytes.end(), step.begin(), step.end());
        }
    }
    return bytes;
}

// What each kind of damage is called (an underrun is not a wrong byte), and runs that must
// start exactly at the step velmora-play reported after each of its gaps.
TEST(CaptureCheck, NamesEachKindOfDamageAndRunsResumeWhereThePlayerSaid) {
    const WireLayout layout;   // 2 channels of 32 bits: 8 bytes a step
    const std::vector<Span> twoRuns = {{Span::silence, 0, 3}, {Span::pattern, 0, 100}, {Span::silence, 0, 5},
                                       {Span::pattern, 500, 80}, {Span::silence, 0, 5}};
    std::vector<Span> broken = twoRuns;   // the second run's last step is wrong
    broken[3].count = 79;
    broken.insert(broken.begin() + 4, {Span::wrong, 0, 1});
    const struct {
        const char* what;
        std::vector<Span> runs;
        std::vector<LostGap> gaps;
        std::vector<uint64_t> resumeAt;   // where the player said the audio went on
        bool exact;
        std::string message;   // its beginning
    } cases[] = {
        {"whole", {{Span::silence, 0, 4}, {Span::pattern, 0, 100}, {Span::silence, 0, 3}}, {}, {}, true, "bit-exact"},
        {"ring ran empty twice",
         {{Span::pattern, 0, 40}, {Span::silence, 0, 16}, {Span::pattern, 40, 30}, {Span::silence, 0, 8}, {Span::pattern, 70, 30}},
         {}, {}, false, "underrun, 3 silent blocks in 2 places (first at byte 320)"},
        {"a wrong step", {{Span::pattern, 0, 50}, {Span::wrong, 0, 1}, {Span::pattern, 51, 49}}, {}, {}, false,
         "wrong byte at offset 403 after 50 good steps"},
        {"a wrong step after an underrun",
         {{Span::pattern, 0, 20}, {Span::silence, 0, 8}, {Span::pattern, 20, 30}, {Span::wrong, 0, 1}}, {}, {}, false,
         "wrong byte at offset 467 after 50 good steps; before it underrun, 1 silent blocks"},
        {"the end never arrived", {{Span::pattern, 0, 80}, {Span::silence, 0, 5}}, {}, {}, false,
         "the audio ends early: 80 of 100 steps arrived (nothing named lost"},
        {"the end named lost", {{Span::pattern, 0, 80}, {Span::silence, 0, 5}}, {{640, 2}}, {}, false,
         "the audio ends early: 80 of 100 steps arrived (2 packets lost there)"},
        {"a named loss inside", {{Span::pattern, 0, 40}, {Span::pattern, 60, 40}}, {{320, 1}}, {}, true,
         "exact apart from 1 named losses (20 steps)"},
        {"named losses of silence after the end", {{Span::pattern, 0, 100}, {Span::silence, 0, 20}}, {{880, 3}}, {},
         true, "bit-exact, 3 packets of silence after the end lost"},
        {"a named loss where nothing is missing", {{Span::pattern, 0, 100}}, {{400, 1}}, {}, false,
         "the report names 1 lost packets at byte 400"},
        // Both runs, 180 steps, must arrive where a gap is reported.
        {"resumed as reported", twoRuns, {}, {500}, true, "bit-exact"},
        {"no gap reported", twoRuns, {}, {}, false, "wrong byte at offset 864 after 100 good steps"},
        {"resumed at another step", twoRuns, {}, {501}, false, "run 2 does not start with step 501 at offset 864"},
        {"resumed before the first run ended", twoRuns, {}, {50}, false, "run 2 resumes at step 50, before the end"},
        {"a gap too many", twoRuns, {}, {500, 900}, false, "run 3 does not start with step 900 at offset 1544"},
        {"a wrong byte after the gap", broken, {}, {500}, false, "wrong byte at offset 1499 after 179 good steps"},
    };
    for (const auto& c : cases) {
        const Expectation steps{c.resumeAt.empty() ? 100u : 180u, 8};
        const CheckResult r = checkCapture(layout, captureOf(layout, c.runs), c.gaps, c.resumeAt, steps);
        EXPECT_EQ(r.exact, c.exact) << c.what << ": " << r.message;
        EXPECT_EQ(r.message.rfind(c.message, 0), 0u) << c.what << ": " << r.message;
    }
}

}  // namespace
