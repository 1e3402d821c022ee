#pragma once
// Pacing arithmetic of the Sync worker: the deadline of the next burst with its
// lateness debt and overload score, the size of a burst, the packet ring and
// resend ranges (sequence numbers modulo 65536), and packet sizes.

#include <cstdint>

namespace VELMORA {

// The largest packet payload: its resent frame (payload + 2, header, padding)
// still fits the 16-bit length word and one IPv6 UDP datagram (65,527 bytes).
constexpr uint32_t maxPacketPayload = 65496;

// Payload bytes per data packet for the sink's MTU: (MTU - 64) masked with 0xFFF6
// (a mask, not a rounding: 1500 gives 1428). An MTU below 64 would wrap to almost
// 64 KiB; it carries nothing (0), like every MTU that leaves no room for a frame.
constexpr uint16_t packetPayloadForMtu(uint32_t mtu) {
    if (mtu < 64) return 0;
    const uint32_t payload = (mtu - 64) & 0xFFF6;
    return static_cast<uint16_t>(payload < maxPacketPayload ? payload : maxPacketPayload);
}

// Memory the packet ring may take, whatever the sink answered: it holds the
// packets a resend request may ask for, up to one second's worth.
constexpr uint64_t packetRingBudgetBytes = 32ull << 20;

// Packets the ring holds: the smallest power of two not below one second's worth
// of packets of the first profile, and at least 32; fewer (a power of two, still
// at least 32) when slots of slotBytes would exceed packetRingBudgetBytes.
uint32_t packetRingSize(uint32_t firstCycleUs, uint32_t firstCount, uint32_t slotBytes);

// The worker gives up on a silent sink after the larger of 8 info cycles and 1 s.
constexpr uint32_t infoTimeoutUs(uint32_t infoCycleUs) {
    uint64_t eight = static_cast<uint64_t>(infoCycleUs) * 8;
    return eight > 1000000 ? static_cast<uint32_t>(eight > 0xFFFFFFFFull ? 0xFFFFFFFFull : eight) : 1000000;
}

// Bytes of a frame (header plus payload) sized for n payload bytes: a multiple of 8.
constexpr uint32_t frameBytesFor(uint32_t payloadBytes) { return (payloadBytes + 23) & ~7u; }

// Packets a resend request asks for: from the first missing one up to the newest
// sent, modulo 65536.
constexpr uint16_t missingPackets(uint16_t nextSeq, uint16_t firstMissing) {
    return static_cast<uint16_t>(nextSeq - firstMissing);
}

// Sequence number of the next packet to resend while `pending` remain.
constexpr uint16_t resendSequence(uint16_t nextSeq, uint32_t pending) {
    return static_cast<uint16_t>(nextSeq - pending);
}

// The deadline of the next burst, with the debt of lateness not yet caught up and
// the overload score (0..1000). Times are wrapping 32-bit microseconds.
class Pacer {
public:
    static constexpr uint32_t overloadLimit = 1000;

    void start(uint32_t now, uint32_t cycleUs);

    // The next burst is due (now is not earlier than the deadline).
    bool due(uint32_t now) const;
    // Microseconds until the deadline (0 when due).
    uint32_t remaining(uint32_t now) const;

    // A due burst: move the deadline one cycle on. A burst that missed its whole
    // cycle restarts the deadline from now, adds its lateness to the debt (when
    // collectDebt) and raises the overload score; an on-time one lowers it.
    // Returns the lateness (0 when on time).
    uint32_t advance(uint32_t now, uint32_t cycleUs, bool collectDebt);

    // Packets to send in this burst: count, and count more for every whole cycle of debt
    // owed (at most maxPackets in all), paying the debt off.
    uint32_t burstSize(uint32_t cycleUs, uint32_t count, uint32_t maxPackets);

    // A resend of `missing` packets while `pending` were already queued.
    void addResendDebt(uint32_t missing, uint32_t pending, uint32_t cycleUs, uint32_t count);

    uint32_t deadline() const { return deadline_; }
    uint32_t debt() const { return debt_; }
    uint32_t overCount() const { return overCount_; }

private:
    uint32_t deadline_ = 0;
    uint32_t debt_ = 0;
    uint32_t overCount_ = 0;
};

// Fractional frames per packet (14 fraction bits) into whole frames per packet.
class FrameAccumulator {
public:
    uint32_t next(uint32_t framesPerPacket) {
        acc_ += framesPerPacket;
        uint32_t whole = acc_ >> 14;
        acc_ &= 0x3FFF;
        return whole;
    }
    void reset() { acc_ = 0; }

private:
    uint32_t acc_ = 0;
};

// Payload of a new packet: the fixed payload, or `frames` whole frames limited to
// the packet size rounded down to whole frames.
uint32_t payloadBytes(uint32_t fixedPayload, uint32_t frames, uint32_t frameBytes,
                      uint32_t packDataSize);

}  // namespace VELMORA
