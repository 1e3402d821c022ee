// The single-profile arithmetic (Fix, Var, their automatic packet counts, the
// ASIO-cycle profile) and how the table takes or keeps results.

#include "profiles/ProfileFixture.h"

using namespace profiles_test;
using VELMORA::ProfileEntry;

TEST(ProfileArithmetic, VarCarriesWholeFramesWithoutMargin) {
    auto c = calculator(1428, 10);
    uint32_t cycle = 1000;
    ASSERT_TRUE(c.Var(cycle, 0));
    EXPECT_EQ(cycle, 1000u);
    EXPECT_EQ(c.result, entry(1000, 360, 360, 45u << 14, 1, ProfileEntry::modeVar));
}

TEST(ProfileArithmetic, FixAddsThreePercentAndFractionalFrames) {
    auto c = calculator(1428, 10);
    uint32_t cycle = 1000;
    ASSERT_TRUE(c.Fix(cycle, 0, false));
    EXPECT_EQ(c.result, entry(1000, 0, 368, 722534, 1, ProfileEntry::modeFix));

    cycle = 1000;
    ASSERT_TRUE(c.Fix(cycle, 1, true));
    EXPECT_EQ(c.result.mode, ProfileEntry::modeFixFixedSize);
    EXPECT_EQ(c.result.framesPerPacket, 722534u);
}

TEST(ProfileArithmetic, FixShortensTheCycleUntilTheBytesFit) {
    // Room for 2 × 100 bytes: 368 bytes per millisecond do not fit; at 528 µs one
    // cycle needs 192 bytes (< 200), at 529 µs it would need 200.
    auto c = calculator(100, 10);
    uint32_t cycle = 1000;
    ASSERT_TRUE(c.Fix(cycle, 2, false));
    EXPECT_EQ(cycle, 528u);
    EXPECT_EQ(c.result, entry(528, 0, 96, 190749, 2, ProfileEntry::modeFix));

    // The count limit is capped by packDataCount.
    c.packDataCount = 2;
    cycle = 1000;
    ASSERT_TRUE(c.Fix(cycle, 7, false));
    EXPECT_EQ(cycle, 528u);
}

TEST(ProfileArithmetic, FixFailsWhenEvenOneMicrosecondDoesNotFit) {
    // 8-byte frames never fit a 6-byte packet.
    auto c = calculator(6, 1);
    const ProfileEntry before = c.result;
    uint32_t cycle = 50;
    EXPECT_FALSE(c.Fix(cycle, 0, false));
    EXPECT_EQ(c.result, before);
}

TEST(ProfileArithmetic, VarShortensTheCycleToWhatThePacketsHold) {
    auto c = calculator(100, 10);
    uint32_t cycle = 1000;
    ASSERT_TRUE(c.Var(cycle, 3));
    // 300 bytes last ceil(1e6 / (352800 / 300)) = 851 µs.
    EXPECT_EQ(cycle, 851u);
    EXPECT_EQ(c.result, entry(851, 96, 96, 12u << 14, 3, ProfileEntry::modeVar));
}

TEST(ProfileArithmetic, AutoCountsTakeTheSmallestCountThatFits) {
    auto c = calculator(100, 10);
    ASSERT_TRUE(c.FixAuto(1000, false));
    EXPECT_EQ(c.result, entry(1000, 0, 96, 180633, 4, ProfileEntry::modeFix));

    ASSERT_TRUE(c.VarAuto(1000));
    EXPECT_EQ(c.result, entry(1000, 88, 88, 11u << 14, 4, ProfileEntry::modeVar));
}

TEST(ProfileArithmetic, AutoCountsStopAtTheLargestUsefulCount) {
    // Three packets of 100 bytes never carry a millisecond: the cycle stays shortened.
    auto c = calculator(100, 3);
    ASSERT_TRUE(c.FixAuto(1000, true));
    EXPECT_EQ(c.result, entry(814, 0, 104, 195806, 3, ProfileEntry::modeFixFixedSize));

    ASSERT_TRUE(c.VarAuto(1000));
    EXPECT_EQ(c.result, entry(851, 96, 96, 12u << 14, 3, ProfileEntry::modeVar));
}

TEST(ProfileArithmetic, VarAsioHalvesThePayloadUntilItFits) {
    // One host buffer of 2 × 2048 bytes per cycle.
    auto c = calculator(1428, 10);
    ASSERT_TRUE(c.VarASIO(4096));
    EXPECT_EQ(c.result, entry(11610, 1024, 1024, 128u << 14, 4, ProfileEntry::modeVar));

    ASSERT_TRUE(c.VarASIO(1428));
    EXPECT_EQ(c.result.count, 1u);
    EXPECT_EQ(c.result.fixedPayload, 1428u);
}

TEST(ProfileArithmetic, NoRoomForDataFailsEveryComputation) {
    for (auto [size, count] : {std::pair<uint16_t, uint16_t>{0, 10}, {1428, 0}}) {
        auto c = calculator(size, count);
        uint32_t cycle = 1000;
        EXPECT_FALSE(c.Fix(cycle, 0, false));
        EXPECT_FALSE(c.Var(cycle, 0));
        EXPECT_FALSE(c.FixAuto(1000, false));
        EXPECT_FALSE(c.VarAuto(1000));
        EXPECT_FALSE(c.VarASIO(4096));
        c.profileMin = 30;
        c.profileMax = 100;
        c.profileFlags = VELMORA::profileFlag::searchUp | VELMORA::profileFlag::variable;
        EXPECT_FALSE(c.PROFILE());
        EXPECT_FALSE(c.configTransferAuto(0));
        EXPECT_EQ(c.packDataCount, count) << "the lifted count limit is restored";
    }
}

TEST(ProfileTable, SingleMethodsFillEntryZero) {
    VELMORA::TransferProfiles t;
    EXPECT_EQ(t.validCount(), 0u);
    const VELMORA::ProfileInputs in{stereo32At44k(), 1428, 10};
    ASSERT_TRUE(t.Var(in, 1000, 0));
    EXPECT_EQ(t.validCount(), 1u);
    EXPECT_EQ(t.entry(0), entry(1000, 360, 360, 45u << 14, 1, ProfileEntry::modeVar));
    EXPECT_EQ(t.calculator().limitCycle, 400u);
    ASSERT_TRUE(t.VarASIO(in, 4096));
    EXPECT_EQ(t.entry(0).cycle, 11610u);
    ASSERT_TRUE(t.FixAuto({stereo32At44k(), 100, 10}, 1000, false));
    EXPECT_EQ(t.entry(0).count, 4u);
}

TEST(ProfileTable, AFailingMethodLeavesTheTableAsItWas) {
    VELMORA::TransferProfiles t;
    t.setSinkProfile(50, 100, 0);
    const VELMORA::ProfileInputs good{stereo32At44k(), 1428, 10};
    ASSERT_TRUE(t.configTransferAuto(good, 400, 0, 2000));
    const ProfileEntry first = t.entry(0);
    const ProfileEntry second = t.entry(1);

    for (const VELMORA::ProfileInputs& bad :
         {VELMORA::ProfileInputs{stereo32At44k(), 0, 10}, VELMORA::ProfileInputs{stereo32At44k(), 1428, 0}}) {
        EXPECT_FALSE(t.Fix(bad, 1000, 0, false));
        EXPECT_FALSE(t.Var(bad, 1000, 0));
        EXPECT_FALSE(t.FixAuto(bad, 1000, false));
        EXPECT_FALSE(t.VarAuto(bad, 1000));
        EXPECT_FALSE(t.VarASIO(bad, 4096));
        EXPECT_FALSE(t.configTransferAuto(bad, 400, 0, 2000));
        EXPECT_EQ(t.validCount(), 2u);
        EXPECT_EQ(t.entry(0), first);
        EXPECT_EQ(t.entry(1), second);
    }
}
