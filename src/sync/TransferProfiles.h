#pragma once
// Transfer profiles: how the streaming worker paces the stream (cycle time, packets
// per cycle, payload per packet).
//
// Two families:
//  - Fix: the cycle is fixed and every packet carries a fractional number of frames
//    (18.14 fixed point, accumulated per packet); clock feedback trims the frames.
//  - Var: every packet carries the same payload; clock feedback trims the cycle.
//
// ProfileCalculator does the arithmetic on one candidate profile. TransferProfiles
// (the session's member `transfer`) holds the sink's profile answer and the table
// the worker reads, and runs the methods the driver's start chooses between.

#include <array>
#include <cstddef>
#include <cstdint>

#include "sync/StreamFormat.h"

namespace VELMORA {

// One profile, as the worker reads it.
struct ProfileEntry {
    enum Mode : uint32_t { modeVar = 0, modeFix = 1, modeFixFixedSize = 2 };

    uint32_t cycle = 0;            // µs per cycle
    uint32_t fixedPayload = 0;     // payload bytes of every packet; 0 in the Fix family
    uint32_t capacity = 0;         // payload bytes a datagram is sized for
    uint32_t framesPerPacket = 0;  // frames per packet × 16384
    uint16_t count = 0;            // packets per cycle
    uint32_t mode = modeVar;

    bool operator==(const ProfileEntry&) const = default;
};

// The session values a profile method works from.
struct ProfileInputs {
    StreamFormat format;           // the session's sinkFormat
    uint16_t packDataSize = 0;     // payload bytes per data packet
    uint16_t packDataCount = 0;    // packets per burst
};

// Bits of the sink's profile flags.
namespace profileFlag {
constexpr uint16_t unchecked = 0x01;   // accept without the minimum/maximum/limit checks
constexpr uint16_t variable = 0x02;    // Var family; clear: Fix family
constexpr uint16_t searchUp = 0x04;    // search upward from the minimum
constexpr uint16_t autoCount = 0x08;   // automatic packet count (FixAuto / VarAuto)
constexpr uint16_t fixedSize = 0x10;   // Fix: fixed-size datagrams
}  // namespace profileFlag

// The working record of the profile arithmetic. Every operation fills `result`
// and answers true on success.
struct ProfileCalculator {
    ProfileEntry result{1000000, 0, 0, 0, 1, ProfileEntry::modeVar};
    uint16_t profileMin = 0;       // 10 µs units
    uint16_t profileMax = 0;       // 10 µs units
    uint16_t profileFlags = 0;
    StreamFormat format;
    uint32_t limitCycle = 0;       // µs
    uint16_t packDataSize = 0;
    uint16_t packDataCount = 0;
    uint8_t autoFlag = 0;

    // rate × channels × bits per sample / 8.
    uint64_t bytesPerSecond() const;
    // containerBytes × channels.
    uint32_t frameSize() const;

    // Fixed cycle, `cycleUs` lowered to the longest cycle whose bytes (plus 3 %) fit
    // into min(countLimit, packDataCount) packets (countLimit 0: packDataCount).
    bool Fix(uint32_t& cycleUs, uint32_t countLimit, bool fixedSize);
    // Equal payloads; when one cycle's bytes exceed the packets' room, the cycle is
    // shortened to what the room holds.
    bool Var(uint32_t& cycleUs, uint32_t countLimit);
    // The smallest packet count at which cycleUs fits, else the largest useful count
    // with the shortened cycle.
    bool FixAuto(uint32_t cycleUs, bool fixedSize);
    bool VarAuto(uint32_t cycleUs);
    // One host buffer period per cycle, payload halved until it fits a packet.
    bool VarASIO(uint32_t bytesPerCycle);
    // The profile the sink's answer asks for.
    bool PROFILE();
    // PROFILE, falling back to a search upward from cycleUs (or limitCycle when 0).
    bool configTransferAuto(uint32_t cycleUs);

private:
    bool computeAt(uint32_t& cycleUs, bool variable);
    bool profileVarDown(uint32_t lowerBound);
    bool profileVarUp(uint32_t lowerBound);
    bool profileFixDown();
    bool profileFixUp();
};

class TransferProfiles {
public:
    static constexpr size_t tableSize = 10;
    // The cycle bound the single-profile methods load (µs).
    static constexpr uint32_t singleLimitCycle = 400;

    // The sink's PROFILE_REQ answer (all 0 when it gave none).
    void setSinkProfile(uint16_t min, uint16_t max, uint16_t flags);
    uint16_t profileMin() const { return calc_.profileMin; }
    uint16_t profileMax() const { return calc_.profileMax; }
    uint16_t profileFlags() const { return calc_.profileFlags; }

    // Entry i of the table (i < tableSize); entries from validCount() on are unused.
    const ProfileEntry& entry(size_t i) const { return table_[i]; }
    uint32_t validCount() const { return validCount_; }

    // Single-profile methods: on success entry 0 holds the result and the valid count
    // is 1; on failure the table is left as it was.
    bool Fix(const ProfileInputs& in, uint32_t cycleUs, uint32_t countLimit, bool fixedSize);
    bool Var(const ProfileInputs& in, uint32_t cycleUs, uint32_t countLimit);
    bool FixAuto(const ProfileInputs& in, uint32_t cycleUs, bool fixedSize);
    bool VarAuto(const ProfileInputs& in, uint32_t cycleUs);
    bool VarASIO(const ProfileInputs& in, uint32_t bytesPerCycle);

    // Two profiles from the sink's answer: entry 0 for limitUs starting at cycle1,
    // entry 1 searched from cycle2; valid count 2. Fails, leaving the table as it
    // was, only when no profile can be computed at all (packDataSize or
    // packDataCount 0, or a format without bytes).
    bool configTransferAuto(const ProfileInputs& in, uint32_t limitUs, uint32_t cycle1, uint32_t cycle2);

    // The calculator as last loaded (its result is that of the last method run).
    const ProfileCalculator& calculator() const { return calc_; }

private:
    void load(const ProfileInputs& in, uint32_t limitCycle, uint8_t autoFlag);
    bool storeSingle(bool ok);

    std::array<ProfileEntry, tableSize> table_{};
    uint32_t validCount_ = 0;
    ProfileCalculator calc_;
};

}  // namespace VELMORA
