#include "ReorderBuffer.h"

namespace sink {

ReorderBuffer::ReorderBuffer(Deliver deliver, uint16_t firstSeq, uint32_t window)
    : deliver_(std::move(deliver)), slots_(window), mask_(window - 1), next_(firstSeq), nextIndex_(firstSeq) {}

bool ReorderBuffer::isNew(uint16_t seq) const {
    const uint16_t offset = static_cast<uint16_t>(seq - next_);
    return offset < 32768 && offset >= ahead_;
}

ReorderBuffer::Outcome ReorderBuffer::insert(uint16_t seq, std::span<const uint8_t> payload, bool resent) {
    const uint16_t offset = static_cast<uint16_t>(seq - next_);
    if (offset >= 32768) {   // behind the next expected number: already delivered
        ++duplicates_;
        return Outcome::Duplicate;
    }
    if (offset > mask_) {
        ++outOfWindow_;
        return Outcome::OutOfWindow;
    }
    Slot& s = slot(seq);
    if (offset < ahead_) {
        if (s.full) {
            ++duplicates_;
            return Outcome::Duplicate;
        }
        if (s.requested) ++recovered_;
        else ++late_;
    } else {
        // Numbers between the old newest and this one are holes now, not yet requested.
        for (uint32_t i = ahead_; i < offset; ++i) slot(static_cast<uint16_t>(next_ + i)).requested = false;
        ahead_ = offset + 1u;
        if (resent) ++recovered_;
    }
    s.bytes.assign(payload.begin(), payload.end());
    s.full = true;
    s.requested = false;
    const bool inOrder = offset == 0;
    drain();
    return inOrder ? Outcome::Delivered : Outcome::Buffered;
}

void ReorderBuffer::drain() {
    while (ahead_ > 0 && slot(next_).full) {
        Slot& s = slot(next_);
        deliver_(next_, s.bytes);
        s.full = false;
        ++delivered_;
        ++next_;
        ++nextIndex_;
        --ahead_;
    }
}

std::optional<uint16_t> ReorderBuffer::firstMissing() const {
    if (ahead_ == 0) return std::nullopt;
    return next_;   // drain() leaves next_ at a hole whenever anything is still ahead
}

uint32_t ReorderBuffer::holes() const {
    uint32_t n = 0;
    for (uint32_t i = 0; i < ahead_; ++i)
        if (!slot(static_cast<uint16_t>(next_ + i)).full) ++n;
    return n;
}

void ReorderBuffer::markRequested() {
    for (uint32_t i = 0; i < ahead_; ++i) {
        Slot& s = slot(static_cast<uint16_t>(next_ + i));
        if (!s.full) s.requested = true;
    }
}

uint32_t ReorderBuffer::flush(const Skip& skipped) {
    uint32_t count = 0;
    while (ahead_ > 0) {
        Slot& s = slot(next_);
        if (s.full) {
            deliver_(next_, s.bytes);
            s.full = false;
            ++delivered_;
        } else {
            ++count;
            if (skipped) skipped(nextIndex_);
        }
        ++next_;
        ++nextIndex_;
        --ahead_;
    }
    return count;
}

}  // namespace sink
