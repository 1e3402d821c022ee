#pragma once
// Worked examples of the profile arithmetic as table rows: one calculator method on
// 2 channels of 32-bit PCM at 44,100 Hz (352,800 bytes per second, 8-byte frames)
// with 1428-byte packets, 10 per burst and limitCycle 400 µs unless a row says otherwise.

#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>

#include "sync/StreamFormat.h"
#include "sync/TransferProfiles.h"

namespace profiles_test {

using VELMORA::ProfileEntry;

inline VELMORA::StreamFormat pcm(uint64_t type, uint32_t channels, uint32_t rate) {
    VELMORA::StreamFormat f(type);
    EXPECT_TRUE(f.setChannels(channels));
    EXPECT_TRUE(f.setRate(rate));
    return f;
}
inline VELMORA::StreamFormat stereo32At44k() { return pcm(VELMORA::StreamFormat::typeInt32, 2, 44100); }

constexpr ProfileEntry entry(uint32_t cycle, uint32_t fixedPayload, uint32_t capacity, uint32_t framesPerPacket,
                             uint16_t count, uint32_t mode) {
    return ProfileEntry{cycle, fixedPayload, capacity, framesPerPacket, count, mode};
}

enum class Op { Fix, Var, FixAuto, VarAuto, VarASIO, PROFILE, Auto };
inline const char* const opNames[] = {"Fix", "Var", "FixAuto", "VarAuto", "VarASIO", "PROFILE", "configTransferAuto"};

struct Case {
    const char* what;
    Op op;
    uint32_t arg = 1000;       // the cycle in µs (0 for Auto: from limitCycle); VarASIO: bytes per cycle
    uint32_t countLimit = 0;   // Fix, Var
    bool fixedSize = false;    // Fix, FixAuto
    uint16_t size = 1428, count = 10;
    uint32_t limit = 400;
    uint16_t min = 0, max = 0, flags = 0;   // the sink's profile answer
    uint8_t autoFlag = 0;
    bool ok = true;
    std::optional<ProfileEntry> want{};   // the result, also after a failure
};

inline void runCases(std::span<const Case> cases) {
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(opNames[static_cast<int>(k.op)]) + ": " + k.what);
        VELMORA::ProfileCalculator c;
        c.format = stereo32At44k();
        c.packDataSize = k.size;
        c.packDataCount = k.count;
        c.limitCycle = k.limit;
        c.profileMin = k.min;
        c.profileMax = k.max;
        c.profileFlags = k.flags;
        c.autoFlag = k.autoFlag;
        uint32_t cycle = k.arg;
        bool ok = false;
        switch (k.op) {
        case Op::Fix: ok = c.Fix(cycle, k.countLimit, k.fixedSize); break;
        case Op::Var: ok = c.Var(cycle, k.countLimit); break;
        case Op::FixAuto: ok = c.FixAuto(k.arg, k.fixedSize); break;
        case Op::VarAuto: ok = c.VarAuto(k.arg); break;
        case Op::VarASIO: ok = c.VarASIO(k.arg); break;
        case Op::PROFILE: ok = c.PROFILE(); break;
        case Op::Auto: ok = c.configTransferAuto(k.arg); break;
        }
        EXPECT_EQ(ok, k.ok);
        if (k.want) {
            EXPECT_EQ(c.result, *k.want);
        }
        if (ok && (k.op == Op::Fix || k.op == Op::Var)) {
            EXPECT_EQ(cycle, c.result.cycle) << "the cycle handed back";
        }
        EXPECT_EQ(c.packDataCount, k.count) << "the lifted count limit is restored";
    }
}

}  // namespace profiles_test

namespace VELMORA {
inline void PrintTo(const ProfileEntry& e, std::ostream* os) {
    *os << "{cycle " << e.cycle << ", fixedPayload " << e.fixedPayload << ", capacity " << e.capacity
        << ", framesPerPacket " << e.framesPerPacket << ", count " << e.count << ", mode " << e.mode << "}";
}
}  // namespace VELMORA
