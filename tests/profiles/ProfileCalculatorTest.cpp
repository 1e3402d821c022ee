// The single-profile arithmetic (Fix, Var, their automatic packet counts, the
// ASIO-cycle profile), the sink's profile answer (PROFILE, one path per flag
// combination that changes it) and the automatic configuration with its fallback.

#include "profiles/ProfileFixture.h"

using namespace profiles_test;
namespace flag = VELMORA::profileFlag;

namespace {

constexpr auto Fix = ProfileEntry::modeFix, FixSized = ProfileEntry::modeFixFixedSize, Var = ProfileEntry::modeVar;
constexpr ProfileEntry fixAt1000 = entry(1000, 0, 368, 722534, 1, Fix);
constexpr ProfileEntry varAt1000 = entry(1000, 360, 360, 45u << 14, 1, Var);
constexpr ProfileEntry var420 = entry(420, 152, 152, 19u << 14, 1, Var);

const Case arithmetic[] = {
    {.what = "Var carries whole frames without margin", .op = Op::Var, .want = varAt1000},
    {.what = "Fix adds 3 % and fractional frames", .op = Op::Fix, .want = fixAt1000},
    {.what = "Fix fixed-size", .op = Op::Fix, .countLimit = 1, .fixedSize = true,
     .want = entry(1000, 0, 368, 722534, 1, FixSized)},
    // Room for 2 × 100 bytes: at 528 µs a cycle needs 192 bytes (< 200), at 529 µs 200.
    {.what = "Fix shortens the cycle until the bytes fit", .op = Op::Fix, .countLimit = 2, .size = 100,
     .want = entry(528, 0, 96, 190749, 2, Fix)},
    {.what = "Fix count limit capped by packDataCount", .op = Op::Fix, .countLimit = 7, .size = 100, .count = 2,
     .want = entry(528, 0, 96, 190749, 2, Fix)},
    {.what = "Fix fails when 8-byte frames never fit a 6-byte packet", .op = Op::Fix, .arg = 50, .size = 6,
     .count = 1, .ok = false, .want = VELMORA::ProfileCalculator().result},
    // 300 bytes last ceil(1e6 / (352800 / 300)) = 851 µs.
    {.what = "Var shortens the cycle to what the packets hold", .op = Op::Var, .countLimit = 3, .size = 100,
     .want = entry(851, 96, 96, 12u << 14, 3, Var)},
    {.what = "FixAuto takes the smallest count that fits", .op = Op::FixAuto, .size = 100,
     .want = entry(1000, 0, 96, 180633, 4, Fix)},
    {.what = "VarAuto takes the smallest count that fits", .op = Op::VarAuto, .size = 100,
     .want = entry(1000, 88, 88, 11u << 14, 4, Var)},
    // One 6-byte packet never holds an 8-byte frame; two hold one for 22 µs, three two for 44 µs,
    // and a fourth is no more room (packDataCount 3): three packets of 44 µs.
    {.what = "FixAuto passes over counts that cannot hold a frame", .op = Op::FixAuto, .size = 6, .count = 3,
     .want = entry(44, 0, 8, 10115, 3, Fix)},
    {.what = "FixAuto fails when no count holds a frame", .op = Op::FixAuto, .size = 6, .count = 1, .ok = false},
    // Three packets of 100 bytes never carry a millisecond: the cycle stays shortened.
    {.what = "FixAuto stops at the largest useful count", .op = Op::FixAuto, .fixedSize = true, .size = 100,
     .count = 3, .want = entry(814, 0, 104, 195806, 3, FixSized)},
    {.what = "VarAuto stops at the largest useful count", .op = Op::VarAuto, .size = 100, .count = 3,
     .want = entry(851, 96, 96, 12u << 14, 3, Var)},
    {.what = "VarASIO halves the payload until it fits", .op = Op::VarASIO, .arg = 4096,
     .want = entry(11610, 1024, 1024, 128u << 14, 4, Var)},
    {.what = "VarASIO payload that fits at once", .op = Op::VarASIO, .arg = 1428,
     .want = entry(4048, 1428, 1428, 178u << 14, 1, Var)},
};

const Case answers[] = {
    {.what = "an all-zero answer", .op = Op::PROFILE, .ok = false, .want = entry(0, 0, 0, 0, 1, Var)},
    {.what = "Fix at the maximum", .op = Op::PROFILE, .min = 50, .max = 100, .want = fixAt1000},
    {.what = "Fix at the maximum, fixed size", .op = Op::PROFILE, .min = 50, .max = 100, .flags = flag::fixedSize,
     .want = entry(1000, 0, 368, 722534, 1, FixSized)},
    {.what = "below limitCycle even when unchecked", .op = Op::PROFILE, .max = 30, .flags = flag::unchecked,
     .ok = false},
    // One 200-byte packet holds 528 µs, below the sink's 600 µs minimum.
    {.what = "Fix below the minimum", .op = Op::PROFILE, .size = 200, .min = 60, .max = 100, .ok = false},
    {.what = "Fix below the minimum, unchecked", .op = Op::PROFILE, .size = 200, .min = 60, .max = 100,
     .flags = flag::unchecked, .want = entry(528, 0, 192, 381498, 1, Fix)},
    {.what = "Fix search up reaches limitCycle", .op = Op::PROFILE, .min = 30, .max = 100, .flags = flag::searchUp,
     .want = entry(400, 0, 152, 289013, 1, Fix)},
    // From the minimum in 10 µs steps; unchecked, the search starts at limitCycle itself.
    {.what = "Fix search up in 10 µs steps", .op = Op::PROFILE, .limit = 405, .min = 30, .max = 100,
     .flags = flag::searchUp, .want = entry(410, 0, 152, 296239, 1, Fix)},
    {.what = "Fix search up from limitCycle, unchecked", .op = Op::PROFILE, .limit = 405, .min = 30, .max = 100,
     .flags = flag::searchUp | flag::unchecked, .want = entry(405, 0, 152, 292626, 1, Fix)},
    {.what = "Fix search up ends when the shortened cycle repeats", .op = Op::PROFILE, .size = 200, .min = 60,
     .max = 100, .flags = flag::searchUp, .ok = false},
    {.what = "Fix search up, unchecked, only needs limitCycle", .op = Op::PROFILE, .size = 200, .min = 60,
     .max = 100, .flags = flag::searchUp | flag::unchecked, .want = entry(528, 0, 192, 381498, 1, Fix)},
    // One 100-byte packet holds only 264 µs; four carry the full millisecond.
    {.what = "one packet cannot hold the cycle", .op = Op::PROFILE, .size = 100, .min = 50, .max = 100, .ok = false},
    {.what = "automatic count from the flag", .op = Op::PROFILE, .size = 100, .min = 50, .max = 100,
     .flags = flag::autoCount, .want = entry(1000, 0, 96, 180633, 4, Fix)},
    {.what = "automatic count from autoFlag", .op = Op::PROFILE, .size = 100, .min = 50, .max = 100, .autoFlag = 1,
     .want = entry(1000, 0, 96, 180633, 4, Fix)},
    {.what = "Var at the maximum", .op = Op::PROFILE, .min = 50, .max = 100, .flags = flag::variable,
     .want = varAt1000},
    // The Var bound is limitCycle × 1.03 (2060 µs here).
    {.what = "Var below its bound", .op = Op::PROFILE, .limit = 2000, .min = 50, .max = 100,
     .flags = flag::variable, .ok = false},
    {.what = "Var below its bound, unchecked", .op = Op::PROFILE, .limit = 2000, .min = 50, .max = 100,
     .flags = flag::variable | flag::unchecked, .want = varAt1000},
    // One 200-byte packet lasts 567 µs: below a 600 µs minimum.
    {.what = "Var below the minimum", .op = Op::PROFILE, .size = 200, .min = 60, .max = 100,
     .flags = flag::variable, .ok = false},
    {.what = "Var below the minimum, unchecked", .op = Op::PROFILE, .size = 200, .min = 60, .max = 100,
     .flags = flag::variable | flag::unchecked, .want = entry(567, 200, 200, 25u << 14, 1, Var)},
    // From 300 µs in 10 µs steps, the first cycle not below 412 µs.
    {.what = "Var search up", .op = Op::PROFILE, .min = 30, .max = 100, .flags = flag::variable | flag::searchUp,
     .want = var420},
    {.what = "Var search up: a maximum under the bound", .op = Op::PROFILE, .min = 30, .max = 40,
     .flags = flag::variable | flag::searchUp, .ok = false},
    // One 100-byte packet always shortens to 284 µs, which repeats.
    {.what = "Var search up: the shortened cycle repeats", .op = Op::PROFILE, .size = 100, .min = 30, .max = 100,
     .flags = flag::variable | flag::searchUp | flag::unchecked, .ok = false},
};

const Case automatic[] = {
    {.what = "the answer is used when it fits", .op = Op::Auto, .arg = 0, .min = 50, .max = 100,
     .flags = flag::variable, .want = varAt1000},
    // No answer: the Fix family from limitCycle until the cycle reaches 412 µs.
    {.what = "fallback searches up from limitCycle", .op = Op::Auto, .arg = 0,
     .want = entry(420, 0, 160, 303464, 1, Fix)},
    {.what = "a given cycle past the bound is taken as it is", .op = Op::Auto, .arg = 1000, .want = fixAt1000},
    {.what = "a Var answer that cannot be met falls back to Var", .op = Op::Auto, .arg = 0, .flags = flag::variable,
     .want = var420},
    // Ten 100-byte packets hold 2721 µs; the fallback may use 16 of them.
    {.what = "fallback lifts the packet count limit", .op = Op::Auto, .arg = 0, .size = 100, .limit = 4000,
     .want = entry(4120, 0, 96, 185691, 16, Fix)},
};

}  // namespace

TEST(ProfileArithmetic, WorkedExamples) { runCases(arithmetic); }
TEST(ProfileAnswer, WorkedExamples) { runCases(answers); }
TEST(ConfigTransferAuto, WorkedExamples) { runCases(automatic); }
