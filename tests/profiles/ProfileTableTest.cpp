// The session's profile table: single methods fill entry 0, configTransferAuto
// always gives two entries, and a failing method leaves the table as it was.

#include "profiles/ProfileFixture.h"

using namespace profiles_test;

namespace {
const VELMORA::ProfileInputs inputs{stereo32At44k(), 1428, 10};
constexpr ProfileEntry fixAt1000 = entry(1000, 0, 368, 722534, 1, ProfileEntry::modeFix);
}  // namespace

TEST(ProfileTable, SingleMethodsFillEntryZeroWithLimitCycle400) {
    VELMORA::TransferProfiles t;
    EXPECT_EQ(t.validCount(), 0u);
    ASSERT_TRUE(t.Var(inputs, 1000, 0));
    EXPECT_EQ(t.validCount(), 1u);
    EXPECT_EQ(t.entry(0), entry(1000, 360, 360, 45u << 14, 1, ProfileEntry::modeVar));
    EXPECT_EQ(t.calculator().limitCycle, 400u);
    ASSERT_TRUE(t.FixAuto({stereo32At44k(), 100, 10}, 1000, false));
    EXPECT_EQ(t.entry(0).count, 4u);
}

TEST(ProfileTable, ConfigTransferAutoAlwaysGivesTwoEntriesThatFailuresKeep) {
    VELMORA::TransferProfiles answered;
    answered.setSinkProfile(50, 100, 0);
    ASSERT_TRUE(answered.configTransferAuto(inputs, 400, 0, 2000));
    EXPECT_EQ(answered.validCount(), 2u);
    EXPECT_EQ(answered.entry(0), fixAt1000);
    // 1000 µs is below the second limit (2000 µs): searched up to 2000 × 1.03.
    EXPECT_EQ(answered.entry(1), entry(2060, 0, 752, 1488420, 1, ProfileEntry::modeFix));

    VELMORA::TransferProfiles silentSink;
    ASSERT_TRUE(silentSink.configTransferAuto(inputs, 400, 0, 1000));
    EXPECT_EQ(silentSink.validCount(), 2u);
    EXPECT_EQ(silentSink.entry(0).cycle, 420u);
    EXPECT_EQ(silentSink.entry(1).cycle, 1030u);
    EXPECT_EQ(silentSink.calculator().autoFlag, 1u);

    // A failing method leaves the table as it was.
    VELMORA::TransferProfiles& t = answered;
    const ProfileEntry first = t.entry(0), second = t.entry(1);
    for (const VELMORA::ProfileInputs& bad : {VELMORA::ProfileInputs{stereo32At44k(), 0, 10},
                                              VELMORA::ProfileInputs{stereo32At44k(), 1428, 0}}) {
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
