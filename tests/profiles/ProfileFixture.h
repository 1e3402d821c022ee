#pragma once
// Shared set-up of the profile tests: 2 channels of 32-bit PCM at 44,100 Hz
// (352,800 bytes per second, 8-byte frames) unless a test says otherwise.

#include <gtest/gtest.h>

#include "sync/StreamFormat.h"
#include "sync/TransferProfiles.h"

namespace profiles_test {

inline VELMORA::StreamFormat format(uint64_t channels, uint64_t type, uint64_t rate) {
    VELMORA::StreamFormat f(type);
    EXPECT_TRUE(f.setChannels(channels));
    EXPECT_TRUE(f.setRate(rate));
    return f;
}

inline VELMORA::StreamFormat stereo32At44k() {
    return format(2, VELMORA::StreamFormat::typeInt32, 44100);
}

inline VELMORA::ProfileCalculator calculator(uint16_t packDataSize, uint16_t packDataCount,
                                             uint32_t limitCycle = 400) {
    VELMORA::ProfileCalculator c;
    c.format = stereo32At44k();
    c.packDataSize = packDataSize;
    c.packDataCount = packDataCount;
    c.limitCycle = limitCycle;
    return c;
}

inline VELMORA::ProfileEntry entry(uint32_t cycle, uint32_t fixedPayload, uint32_t capacity,
                                   uint32_t framesPerPacket, uint16_t count, uint32_t mode) {
    return VELMORA::ProfileEntry{cycle, fixedPayload, capacity, framesPerPacket, count, mode};
}

}  // namespace profiles_test

namespace VELMORA {
inline void PrintTo(const ProfileEntry& e, std::ostream* os) {
    *os << "{cycle " << e.cycle << ", fixedPayload " << e.fixedPayload << ", capacity " << e.capacity
        << ", framesPerPacket " << e.framesPerPacket << ", count " << e.count << ", mode " << e.mode << "}";
}
}  // namespace VELMORA
