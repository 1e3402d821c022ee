#pragma once
// Puts data packets back in sequence order. Sequence numbers are 16 bits and wrap; the
// buffer keeps a window of slots ahead of the next number it owes its consumer, delivers
// every run of consecutive packets as soon as it is complete, drops duplicates, and says
// which numbers are still missing so that the receiver can ask for them again.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace sink {

class ReorderBuffer {
public:
    using Deliver = std::function<void(uint16_t seq, std::span<const uint8_t> payload)>;
    // A packet given up for lost, by its place in the stream (the sequence number unwrapped).
    using Skip = std::function<void(uint64_t index)>;
    enum class Outcome { Delivered, Buffered, Duplicate, OutOfWindow };

    // window: slots kept ahead of the next expected number; a power of two below 32768.
    ReorderBuffer(Deliver deliver, uint16_t firstSeq = 0, uint32_t window = 16384);

    // resent: the packet is known to be a resend of one lost on the way (the fault injector
    // dropped it). It counts as recovered also when it arrives before anything after it, so
    // that no hole was ever open for it.
    Outcome insert(uint16_t seq, std::span<const uint8_t> payload, bool resent = false);

    // True when seq lies beyond every packet seen so far (a first arrival, not a resend).
    bool isNew(uint16_t seq) const;

    // The oldest missing number and how many numbers from it up to the newest arrival
    // are spanned (holes and buffered packets alike); nothing when no hole is open.
    std::optional<uint16_t> firstMissing() const;
    uint16_t newestSeen() const { return static_cast<uint16_t>(next_ + ahead_ - 1); }
    uint32_t holes() const;   // missing numbers between the next expected and the newest

    // Marks every hole as asked for; a later arrival into such a hole counts as recovered.
    void markRequested();

    // Gives up on the holes: delivers what is buffered, in order, skipping them (each one
    // told to `skipped`, between the deliveries around it). Returns the number skipped.
    uint32_t flush(const Skip& skipped = nullptr);

    uint64_t delivered() const { return delivered_; }
    uint64_t duplicates() const { return duplicates_; }
    uint64_t recovered() const { return recovered_; }     // holes filled after a request, and resends of
                                                          // lost packets that came before any hole
    uint64_t lateArrivals() const { return late_; }       // holes filled without a request
    uint64_t outOfWindow() const { return outOfWindow_; }

private:
    struct Slot {
        std::vector<uint8_t> bytes;   // capacity kept between uses
        bool full = false;
        bool requested = false;
    };
    Slot& slot(uint16_t seq) { return slots_[seq & mask_]; }
    const Slot& slot(uint16_t seq) const { return slots_[seq & mask_]; }
    void drain();

    Deliver deliver_;
    std::vector<Slot> slots_;
    uint32_t mask_;
    uint16_t next_;          // next number owed to the consumer
    uint64_t nextIndex_;     // the same, unwrapped
    uint32_t ahead_ = 0;     // numbers from next_ up to and including the newest seen
    uint64_t delivered_ = 0, duplicates_ = 0, recovered_ = 0, late_ = 0, outOfWindow_ = 0;
};

}  // namespace sink
