#pragma once
// A producer for the engine: a SyncBuffer whose fillBlock writes a known, non-repeating
// byte pattern for a given number of blocks and silence afterwards.

#include "syncbuffer/SyncBuffer.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace engine_test {

class PatternSource : public VELMORA::SyncBuffer {
public:
    PatternSource(uint32_t patternBlocks, uint32_t seed) : patternBlocks_(patternBlocks), seed_(seed) {}
    ~PatternSource() override { close(); }

    void fillBlock(std::vector<uint8_t>& block, bool) override {
        const uint32_t k = filled_.load(std::memory_order_relaxed);
        if (k < patternBlocks_) {
            for (size_t i = 0; i < block.size(); ++i) block[i] = patternByte(uint64_t{k} * block.size() + i);
        } else {
            std::fill(block.begin(), block.end(), silenceByte());
        }
        filled_.store(k + 1, std::memory_order_release);
    }

    // Byte i of the pattern (a hash, so no window of it repeats or looks like silence).
    uint8_t patternByte(uint64_t i) const {
        uint64_t x = (i + 1) * 0x9E3779B97F4A7C15ull ^ seed_;
        x ^= x >> 29;
        x *= 0xBF58476D1CE4E5B9ull;
        x ^= x >> 32;
        return static_cast<uint8_t>(x);
    }
    std::vector<uint8_t> pattern() const {
        std::vector<uint8_t> p(patternBlocks_ * blockBytes);
        for (size_t i = 0; i < p.size(); ++i) p[i] = patternByte(i);
        return p;
    }

    uint32_t filled() const { return filled_.load(std::memory_order_acquire); }
    uint32_t patternBlocks() const { return patternBlocks_; }

private:
    uint32_t patternBlocks_;
    uint64_t seed_;
    std::atomic<uint32_t> filled_{0};
};

}  // namespace engine_test
