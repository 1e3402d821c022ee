// Sequence handling of the sink: order, duplicates, holes, window, resend timing (the wrap at
// 65535 is the receiver tests' business).
#include "ReorderBuffer.h"
#include "ResendPolicy.h"

#include <gtest/gtest.h>

#include <vector>

namespace sink {
namespace {

struct Collected {
    std::vector<uint16_t> seqs;
    std::vector<uint8_t> bytes;
    ReorderBuffer::Deliver fn() {
        return [this](uint16_t s, std::span<const uint8_t> p) {
            seqs.push_back(s);
            bytes.insert(bytes.end(), p.begin(), p.end());
        };
    }
};

std::vector<uint8_t> body(uint16_t seq) { return {static_cast<uint8_t>(seq), static_cast<uint8_t>(seq >> 8)}; }

TEST(ReorderBuffer, DeliversRunsInOrderAndCountsHolesAndDuplicates) {
    Collected out;
    ReorderBuffer rb(out.fn(), 0, 64);
    EXPECT_EQ(rb.insert(0, body(0)), ReorderBuffer::Outcome::Delivered);
    EXPECT_EQ(rb.insert(3, body(3)), ReorderBuffer::Outcome::Buffered);
    EXPECT_EQ(rb.insert(2, body(2)), ReorderBuffer::Outcome::Buffered);
    EXPECT_EQ(rb.firstMissing(), std::optional<uint16_t>(1));
    EXPECT_EQ(rb.holes(), 1u);
    EXPECT_EQ(rb.newestSeen(), 3);
    EXPECT_EQ(rb.insert(3, body(3)), ReorderBuffer::Outcome::Duplicate);   // buffered copy
    EXPECT_FALSE(rb.isNew(2));
    EXPECT_TRUE(rb.isNew(4));
    EXPECT_EQ(rb.insert(1, body(1)), ReorderBuffer::Outcome::Delivered);
    EXPECT_EQ(out.seqs, (std::vector<uint16_t>{0, 1, 2, 3}));
    EXPECT_EQ(rb.insert(1, body(1)), ReorderBuffer::Outcome::Duplicate);   // already delivered
    EXPECT_FALSE(rb.firstMissing());
    EXPECT_EQ(rb.duplicates(), 2u);
    EXPECT_EQ(rb.lateArrivals(), 2u);   // 2 and 1 filled holes nobody asked for
    EXPECT_EQ(rb.recovered(), 0u);
}

TEST(ReorderBuffer, RejectsPacketsBeyondWindowAndFlushSkipsHoles) {
    Collected out;
    ReorderBuffer rb(out.fn(), 0, 16);
    EXPECT_EQ(rb.insert(16, body(16)), ReorderBuffer::Outcome::OutOfWindow);
    rb.insert(0, body(0));
    rb.insert(2, body(2));
    rb.insert(5, body(5));
    EXPECT_EQ(rb.holes(), 3u);   // 1, 3, 4
    EXPECT_EQ(rb.flush(), 3u);
    EXPECT_EQ(out.seqs, (std::vector<uint16_t>{0, 2, 5}));
    EXPECT_TRUE(rb.isNew(6));
    EXPECT_EQ(rb.insert(6, body(6)), ReorderBuffer::Outcome::Delivered);
    EXPECT_EQ(rb.outOfWindow(), 1u);
}

TEST(ReorderBuffer, HoleOpenedAfterRequestIsNotCountedRecovered) {
    Collected out;
    ReorderBuffer rb(out.fn(), 0, 64);
    rb.insert(0, body(0));
    rb.insert(2, body(2));
    rb.markRequested();          // asks for 1
    rb.insert(5, body(5));       // opens 3, 4 (not asked yet)
    rb.insert(1, body(1));
    rb.insert(3, body(3));
    EXPECT_EQ(rb.recovered(), 1u);
    EXPECT_EQ(rb.lateArrivals(), 1u);
    rb.insert(6, body(6), true);   // a resend of a lost 6, before any hole showed it missing
    EXPECT_EQ(rb.recovered(), 2u);
}

TEST(ResendPolicy, WaitsForDelayThenRetriesAfterPause) {
    ResendPolicy p(1000, 5000);
    EXPECT_FALSE(p.due(std::nullopt, 0));
    EXPECT_FALSE(p.due(7, 100));      // hole seen at 100
    EXPECT_FALSE(p.due(7, 1099));
    EXPECT_TRUE(p.due(7, 1100));
    EXPECT_FALSE(p.due(7, 1200));     // asked; wait for the retry pause
    EXPECT_FALSE(p.due(7, 6099));
    EXPECT_TRUE(p.due(7, 6100));
    EXPECT_FALSE(p.due(9, 6200));     // a newer oldest hole starts its own delay
    EXPECT_TRUE(p.due(9, 7200));
    EXPECT_FALSE(p.due(std::nullopt, 7300));
    EXPECT_FALSE(p.due(9, 7400));     // reopened: delay again
    EXPECT_EQ(p.requests(), 3u);
}

}  // namespace
}  // namespace sink
