#include "driver/Interleave.h"

#include <algorithm>
#include <cstring>

namespace {

// Slot size in the block and how many items one half of one channel holds.
struct Shape {
    std::size_t sourceBytes;   // bytes of one source item
    std::size_t slotBytes;     // bytes of one interleaved slot
};

Shape shapeOf(const InterleaveLayout& l) {
    if (l.dsd) return l.dsdWords ? Shape{4, 4} : Shape{1, 1};
    if (l.sampleBytes == 4 && l.narrow32) {
        if (l.pcmFormat == 0x1000) return {4, 8};
        if (l.pcmFormat == 0x400) return {4, 3};
        if (l.pcmFormat == 0x200) return {4, 2};
        return {4, 4};
    }
    if (l.sampleBytes == 2 || l.sampleBytes == 3 || l.sampleBytes == 4 || l.sampleBytes == 8)
        return {l.sampleBytes, l.sampleBytes};
    return {0, 0};
}

// Copies slot bytes of a source item: the whole item, or for narrowing its upper bytes, or for
// widening the item into the upper half of a zeroed 64-bit slot.
template <std::size_t Source, std::size_t Slot>
void copyChannel(const uint8_t* source, uint8_t* block, std::size_t items, std::size_t stride) {
    for (std::size_t i = 0; i < items; ++i) {
        uint8_t* slot = block + i * stride;
        const uint8_t* item = source + i * Source;
        if constexpr (Slot == Source) {
            std::memcpy(slot, item, Slot);
        } else if constexpr (Slot > Source) {
            std::memset(slot, 0, Slot - Source);
            std::memcpy(slot + (Slot - Source), item, Source);
        } else {
            std::memcpy(slot, item + (Source - Slot), Slot);
        }
    }
}

}  // namespace

std::size_t interleavedBytes(const InterleaveLayout& l) {
    const Shape s = shapeOf(l);
    if (s.sourceBytes == 0) return 0;
    return l.bufferBytes / s.sourceBytes * s.slotBytes * l.channels;
}

void interleaveBlock(const InterleaveLayout& l, const uint8_t* const* sources, uint8_t* block, std::size_t blockBytes) {
    const Shape s = shapeOf(l);
    if (s.sourceBytes == 0 || l.channels == 0) return;
    const std::size_t frameBytes = s.slotBytes * l.channels;
    const std::size_t items = std::min<std::size_t>(l.bufferBytes / s.sourceBytes, blockBytes / frameBytes);
    for (uint32_t c = 0; c < l.channels; ++c) {
        uint8_t* out = block + c * s.slotBytes;
        const uint8_t* in = sources[c];
        switch (s.sourceBytes * 16 + s.slotBytes) {
        case 0x11: copyChannel<1, 1>(in, out, items, frameBytes); break;
        case 0x22: copyChannel<2, 2>(in, out, items, frameBytes); break;
        case 0x33: copyChannel<3, 3>(in, out, items, frameBytes); break;
        case 0x44: copyChannel<4, 4>(in, out, items, frameBytes); break;
        case 0x88: copyChannel<8, 8>(in, out, items, frameBytes); break;
        case 0x48: copyChannel<4, 8>(in, out, items, frameBytes); break;
        case 0x43: copyChannel<4, 3>(in, out, items, frameBytes); break;
        case 0x42: copyChannel<4, 2>(in, out, items, frameBytes); break;
        default: return;
        }
    }
}
