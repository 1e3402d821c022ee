// The sink's profile answer (PROFILE, one path per flag combination that changes
// it) and the automatic configuration with its fallback search.

#include "profiles/ProfileFixture.h"

using namespace profiles_test;
using VELMORA::ProfileEntry;
namespace flag = VELMORA::profileFlag;

namespace {

VELMORA::ProfileCalculator answered(uint16_t min, uint16_t max, uint16_t flags, uint16_t packDataSize = 1428,
                                    uint32_t limitCycle = 400) {
    auto c = calculator(packDataSize, 10, limitCycle);
    c.profileMin = min;
    c.profileMax = max;
    c.profileFlags = flags;
    return c;
}

const ProfileEntry fixAt1000 = entry(1000, 0, 368, 722534, 1, ProfileEntry::modeFix);
const ProfileEntry varAt1000 = entry(1000, 360, 360, 45u << 14, 1, ProfileEntry::modeVar);

}  // namespace

TEST(ProfileAnswer, AllZeroAnswerFails) {
    auto c = answered(0, 0, 0);
    EXPECT_FALSE(c.PROFILE());
    EXPECT_EQ(c.result.cycle, 0u);
}

TEST(ProfileAnswer, FixAtTheMaximum) {
    auto c = answered(50, 100, 0);
    ASSERT_TRUE(c.PROFILE());
    EXPECT_EQ(c.result, fixAt1000);

    c = answered(50, 100, flag::fixedSize);
    ASSERT_TRUE(c.PROFILE());
    EXPECT_EQ(c.result.mode, ProfileEntry::modeFixFixedSize);

    // Below limitCycle fails even when the checks are waived.
    c = answered(0, 30, flag::unchecked);
    EXPECT_FALSE(c.PROFILE());
}

TEST(ProfileAnswer, FixAtTheMaximumChecksTheMinimumUnlessWaived) {
    // One 200-byte packet holds 528 µs, below the sink's 600 µs minimum.
    auto c = answered(60, 100, 0, 200);
    EXPECT_FALSE(c.PROFILE());
    c = answered(60, 100, flag::unchecked, 200);
    ASSERT_TRUE(c.PROFILE());
    EXPECT_EQ(c.result, entry(528, 0, 192, 381498, 1, ProfileEntry::modeFix));
}

TEST(ProfileAnswer, FixSearchUpReachesLimitCycle) {
    auto c = answered(30, 100, flag::searchUp);
    ASSERT_TRUE(c.PROFILE());
    EXPECT_EQ(c.result, entry(400, 0, 152, 289013, 1, ProfileEntry::modeFix));

    // From the minimum in 10 µs steps the first cycle past 405 µs is 410; with the
    // checks waived the search starts at limitCycle itself.
    c = answered(30, 100, flag::searchUp, 1428, 405);
    ASSERT_TRUE(c.PROFILE());
    EXPECT_EQ(c.result.cycle, 410u);
    c = answered(30, 100, flag::searchUp | flag::unchecked, 1428, 405);
    ASSERT_TRUE(c.PROFILE());
    EXPECT_EQ(c.result.cycle, 405u);
}

TEST(ProfileAnswer, FixSearchUpEndsWhenTheShortenedCycleRepeats) {
    auto c = answered(60, 100, flag::searchUp, 200);
    EXPECT_FALSE(c.PROFILE());
    // Waived checks only need limitCycle, which the shortened 528 µs passes.
    c = answered(60, 100, flag::searchUp | flag::unchecked, 200);
    ASSERT_TRUE(c.PROFILE());
    EXPECT_EQ(c.result.cycle, 528u);
}

TEST(ProfileAnswer, AutomaticCountFromFlagOrAutoFlag) {
    // One 100-byte packet holds only 264 µs; four carry the full millisecond.
    auto c = answered(50, 100, 0, 100);
    EXPECT_FALSE(c.PROFILE());
    c = answered(50, 100, flag::autoCount, 100);
    ASSERT_TRUE(c.PROFILE());
    EXPECT_EQ(c.result, entry(1000, 0, 96, 180633, 4, ProfileEntry::modeFix));
    c = answered(50, 100, 0, 100);
    c.autoFlag = 1;
    ASSERT_TRUE(c.PROFILE());
    EXPECT_EQ(c.result.count, 4u);
}

TEST(ProfileAnswer, VarAtTheMaximum) {
    auto c = answered(50, 100, flag::variable);
    ASSERT_TRUE(c.PROFILE());
    EXPECT_EQ(c.result, varAt1000);

    // The Var bound is limitCycle × 1.03 (2060 µs here); waived checks accept below it.
    c = answered(50, 100, flag::variable, 1428, 2000);
    EXPECT_FALSE(c.PROFILE());
    c = answered(50, 100, flag::variable | flag::unchecked, 1428, 2000);
    ASSERT_TRUE(c.PROFILE());
    EXPECT_EQ(c.result, varAt1000);

    // One 200-byte packet lasts 567 µs: below a 600 µs minimum.
    c = answered(60, 100, flag::variable, 200);
    EXPECT_FALSE(c.PROFILE());
    c = answered(60, 100, flag::variable | flag::unchecked, 200);
    ASSERT_TRUE(c.PROFILE());
    EXPECT_EQ(c.result, entry(567, 200, 200, 25u << 14, 1, ProfileEntry::modeVar));
}

TEST(ProfileAnswer, VarSearchUpFindsTheFirstCycleAboveTheBound) {
    // From 300 µs in 10 µs steps, the first cycle not below 412 µs.
    auto c = answered(30, 100, flag::variable | flag::searchUp);
    ASSERT_TRUE(c.PROFILE());
    EXPECT_EQ(c.result, entry(420, 152, 152, 19u << 14, 1, ProfileEntry::modeVar));
}

TEST(ProfileAnswer, VarSearchUpGivesUpWhenNothingCanFit) {
    // A maximum of 400 µs under a bound of 412 µs: no cycle is acceptable.
    auto c = answered(30, 40, flag::variable | flag::searchUp);
    EXPECT_FALSE(c.PROFILE());
    // One 100-byte packet always shortens to 284 µs, which repeats.
    c = answered(30, 100, flag::variable | flag::searchUp | flag::unchecked, 100);
    EXPECT_FALSE(c.PROFILE());
}

TEST(ConfigTransferAuto, ProfileAnswerIsUsedWhenItFits) {
    auto c = answered(50, 100, flag::variable);
    ASSERT_TRUE(c.configTransferAuto(0));
    EXPECT_EQ(c.result, varAt1000);
}

TEST(ConfigTransferAuto, FallbackSearchesUpFromLimitCycle) {
    // No answer: Fix family from 400 µs until the cycle reaches 412 µs.
    auto c = answered(0, 0, 0);
    ASSERT_TRUE(c.configTransferAuto(0));
    EXPECT_EQ(c.result, entry(420, 0, 160, 303464, 1, ProfileEntry::modeFix));
    EXPECT_EQ(c.packDataCount, 10u);

    // A given cycle that already passes the bound is taken as it is.
    ASSERT_TRUE(c.configTransferAuto(1000));
    EXPECT_EQ(c.result, fixAt1000);

    // A Var answer that cannot be met falls back to the Var family.
    c = answered(0, 0, flag::variable);
    ASSERT_TRUE(c.configTransferAuto(0));
    EXPECT_EQ(c.result, entry(420, 152, 152, 19u << 14, 1, ProfileEntry::modeVar));
}

TEST(ConfigTransferAuto, FallbackLiftsThePacketCountLimit) {
    // Ten 100-byte packets hold 2721 µs; the fallback may use more of them.
    auto c = answered(0, 0, 0, 100, 4000);
    ASSERT_TRUE(c.configTransferAuto(0));
    EXPECT_EQ(c.result.cycle, 4120u);
    EXPECT_GT(c.result.count, 10u);
    EXPECT_EQ(c.packDataCount, 10u);
}

TEST(ConfigTransferAuto, TwoProfilesAlwaysGiveTwoEntries) {
    const VELMORA::ProfileInputs in{stereo32At44k(), 1428, 10};

    VELMORA::TransferProfiles answeredTable;
    answeredTable.setSinkProfile(50, 100, 0);
    ASSERT_TRUE(answeredTable.configTransferAuto(in, 400, 0, 2000));
    EXPECT_EQ(answeredTable.validCount(), 2u);
    EXPECT_EQ(answeredTable.entry(0), fixAt1000);
    // 1000 µs is below the second limit (2000 µs): searched up to 2000 × 1.03.
    EXPECT_EQ(answeredTable.entry(1), entry(2060, 0, 752, 1488420, 1, ProfileEntry::modeFix));

    VELMORA::TransferProfiles silentSink;
    ASSERT_TRUE(silentSink.configTransferAuto(in, 400, 0, 1000));
    EXPECT_EQ(silentSink.validCount(), 2u);
    EXPECT_EQ(silentSink.entry(0).cycle, 420u);
    EXPECT_EQ(silentSink.entry(1).cycle, 1030u);
    EXPECT_EQ(silentSink.calculator().autoFlag, 1u);
}
