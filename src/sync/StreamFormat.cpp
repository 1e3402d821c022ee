#include "sync/StreamFormat.h"

#include <bit>

#include "log/LogLine.h"

namespace VELMORA {

namespace {

constexpr uint64_t familyBit8000 = 0x1ull << 32;
constexpr uint64_t familyBit44100 = 0x2ull << 32;
constexpr uint64_t familyBit48000 = 0x4ull << 32;
constexpr int multiplierShift = 35;
constexpr int maxMultiplierExponent = 12;   // x 4096

// The multiplier exponent k of hz = base x 2^k, or -1.
int multiplierExponent(uint64_t hz, uint64_t base) {
    if (hz < base || hz % base != 0) return -1;
    const uint64_t factor = hz / base;
    if (!std::has_single_bit(factor)) return -1;
    const int k = std::countr_zero(factor);
    return k <= maxMultiplierExponent ? k : -1;
}

bool isOneOfTypes(uint64_t type) {
    switch (type) {
    case StreamFormat::typeInt8:
    case StreamFormat::typeInt16:
    case StreamFormat::typeInt24:
    case StreamFormat::typeInt32:
    case StreamFormat::typeInt64:
    case StreamFormat::typeFloat32:
    case StreamFormat::typeFloat64:
    case StreamFormat::typeDsd1:
    case StreamFormat::typeDsd8:
        return true;
    default:
        return false;
    }
}

}  // namespace

uint32_t StreamFormat::channels() const {
    switch (word_ & channelMask) {
    case 0x01: return 1;
    case 0x02: return 2;
    case 0x04: return 4;
    case 0x08: return 6;
    case 0x10: return 8;
    case 0x20: return 16;
    default: return 2;
    }
}

uint32_t StreamFormat::bitsPerSample() const {
    switch (word_ & typeMask) {
    case typeInt8: return 8;
    case typeInt16: return 16;
    case typeInt24: return 24;
    case typeInt32: return 32;
    case typeInt64: return 64;
    case typeFloat32: return 32;
    case typeFloat64: return 64;
    case typeDsd1: return 1;
    case typeDsd8: return 8;
    default: return 16;
    }
}

uint32_t StreamFormat::containerBytes() const {
    switch (word_ & typeMask) {
    case typeInt8: return 1;
    case typeInt16: return 2;
    case typeInt24: return 3;
    case typeInt32: return 4;
    case typeInt64: return 8;
    case typeFloat32: return 4;
    case typeFloat64: return 8;
    case typeDsd1:
    case typeDsd8: return (word_ & dsdWordCodeMask) == dsdWord32 ? 4 : 2;
    default: return 2;
    }
}

uint64_t StreamFormat::rate() const {
    const uint64_t family = word_ & familyMask;
    const uint64_t multiplierBits = word_ & multiplierMask;
    if (family == familyBit8000) return multiplierBits == 0 ? 8000 : 0;
    const uint32_t multiplier = rateMultiplier();
    if (family == familyBit44100) return 44100ull * multiplier;
    if (family == familyBit48000) return 48000ull * multiplier;
    return 0;
}

uint32_t StreamFormat::baseRate() const {
    switch (word_ & familyMask) {
    case familyBit8000: return (word_ & multiplierMask) == 0 ? 8000 : 0;
    case familyBit44100: return 44100;
    case familyBit48000: return 48000;
    default: return 0;
    }
}

uint32_t StreamFormat::rateMultiplier() const {
    const uint64_t bits = (word_ & multiplierMask) >> multiplierShift;
    return std::has_single_bit(bits) ? static_cast<uint32_t>(bits) : 0;
}

bool StreamFormat::setRate(uint64_t hz) {
    uint64_t rateBits;
    if (hz == 8000) {
        rateBits = familyBit8000;
    } else if (const int k = multiplierExponent(hz, 44100); k >= 0) {
        rateBits = familyBit44100 | (1ull << (multiplierShift + k));
    } else if (const int k48 = multiplierExponent(hz, 48000); k48 >= 0) {
        rateBits = familyBit48000 | (1ull << (multiplierShift + k48));
    } else {
        return false;
    }
    word_ = (word_ & ~rateMask) | rateBits;
    return true;
}

bool StreamFormat::setChannels(uint64_t n) {
    uint64_t code;
    switch (n) {
    case 1: code = 0x01; break;
    case 2: code = 0x02; break;
    case 4: code = 0x04; break;
    case 6: code = 0x08; break;
    case 8: code = 0x10; break;
    case 16: code = 0x20; break;
    default: return false;
    }
    word_ = (word_ & ~channelMask) | code;
    return true;
}

void StreamFormat::merge(StreamFormat other) {
    for (const uint64_t group : {channelMask, sampleMask, rateMask}) {
        if (other.word_ & group) word_ = (word_ & ~group) | (other.word_ & group);
    }
}

bool StreamFormat::isDsd() const {
    const uint64_t type = word_ & typeMask;
    return type == typeDsd1 || type == typeDsd8;
}

bool StreamFormat::isValid() const {
    switch (word_ & channelMask) {
    case 0x01: case 0x02: case 0x04: case 0x08: case 0x10: case 0x20: break;
    default: return false;
    }
    const uint64_t type = word_ & typeMask;
    if (!isOneOfTypes(type)) return false;
    if (!isDsd()) return (word_ & dsdLayoutMask) == 0;
    const bool oneOrder = std::has_single_bit(word_ & (dsdLsbFirst | dsdMsbFirst));
    const bool oneByteOrder = std::has_single_bit(word_ & (dsdLittleEndian | dsdBigEndian));
    return oneOrder && oneByteOrder && (word_ & dsdWordCodeMask) == dsdWord32 &&
           rate() >= minimumDsdRate;
}

uint8_t StreamFormat::silenceByte() const {
    if ((word_ & dsdTypeMask) == 0) return 0x00;
    return (word_ & dsdLsbFirst) ? 0x69 : 0x96;
}

uint8_t StreamFormat::category() const {
    switch (word_ & typeMask) {
    case typeInt8: case typeInt16: case typeInt24: case typeInt32: case typeInt64:
        return categoryInteger;
    case typeFloat32: case typeFloat64:
        return categoryFloat;
    case typeDsd1: case typeDsd8:
        return categoryDsd;
    default:
        return categoryOther;
    }
}

bool FormatCaps::supports(StreamFormat f) const {
    const uint64_t w = f.value();
    if (w & StreamFormat::pcmTypeMask) return (pcm & w) == w;
    if ((w & StreamFormat::dsdTypeMask) == 0) return false;
    if (w & StreamFormat::dsdLsbFirst) return (dsdLsb & w) == w;
    if (w & StreamFormat::dsdMsbFirst) return (dsdMsb & w) == w;
    return ((dsdLsb | dsdMsb) & w) == w;
}

namespace {

// One row of the DSD layout table: for a host layout, the condition on the sink's
// masks, the layout to put on the wire, the converter between them and the log text.
struct LayoutRow {
    uint64_t target;
    SampleConverter converter;
    const char* message;
};

// The first row of the host layout that applies, or nullptr when the sink takes
// 32-bit DSD words in neither bit order.
const LayoutRow* pickLayout(const FormatCaps& caps, bool hostLsb, bool hostLittle) {
    using F = StreamFormat;
    // "Same" is the mask of the host's bit order, "other" that of the opposite order.
    const uint64_t same = hostLsb ? caps.dsdLsb : caps.dsdMsb;
    const uint64_t other = hostLsb ? caps.dsdMsb : caps.dsdLsb;
    // The word byte order opposite to the host's.
    const uint64_t oppositeByteOrder = hostLittle ? F::dsdBigEndian : F::dsdLittleEndian;

    static constexpr LayoutRow rows[4][3] = {
        // LSB big
        {{F::dsdLsbLittle, converters::swap32, "DSD COVERT LSB Big -> LSB littele"},
         {F::dsdMsbBig, converters::swap32BitReverse, "DSD COVERT LSB Big -> MSB Big"},
         {F::dsdMsbLittle, converters::bitReverse, "DSD COVERT LSB Big -> MSB littele"}},
        // LSB little
        {{F::dsdLsbBig, converters::swap32, "DSD COVERT LSB littele -> LSB Big"},
         {F::dsdMsbLittle, converters::swap32BitReverse, "DSD COVERT LSB littele -> MSB littele"},
         {F::dsdMsbBig, converters::bitReverse, "DSD COVERT LSB littele -> MSB Big"}},
        // MSB big
        {{F::dsdMsbLittle, converters::swap32, "DSD COVERT MSB Big -> MSB littele"},
         {F::dsdLsbBig, converters::swap32BitReverse, "DSD COVERT MSB Big -> LSB Big"},
         {F::dsdLsbLittle, converters::bitReverse, "DSD COVERT MSB Big -> LSB littele"}},
        // MSB little
        {{F::dsdMsbBig, converters::swap32, "DSD COVERT MSB littele -> MSB Big"},
         {F::dsdLsbLittle, converters::swap32BitReverse, "DSD COVERT MSB littele -> LSB littele"},
         {F::dsdLsbBig, converters::bitReverse, "DSD COVERT MSB littele -> LSB Big"}},
    };
    const auto& row = rows[(hostLsb ? 0 : 2) + (hostLittle ? 1 : 0)];

    // Same bit order: only the word byte order changes.
    if (same & F::dsdWord32) return &row[0];
    // Other bit order: reverse every word's bits when the sink does not name the
    // opposite byte order (the target keeps the host's), else reverse each byte's bits.
    if (other & F::dsdWord32) return (other & oppositeByteOrder) == 0 ? &row[1] : &row[2];
    return nullptr;
}

}  // namespace

std::optional<FormatChoice> chooseFormat(const FormatCaps& caps, StreamFormat h) {
    if (caps.supports(h)) return FormatChoice{h, converters::copy};
    if (!h.isDsd()) return std::nullopt;
    if (((caps.dsdLsb | caps.dsdMsb) & StreamFormat::typeDsd1) == 0) return std::nullopt;
    if ((h.value() & StreamFormat::dsdWordCodeMask) != StreamFormat::dsdWord32) return std::nullopt;

    const bool hostLsb = (h.value() & StreamFormat::dsdLsbFirst) != 0;
    const bool hostLittle = (h.value() & StreamFormat::dsdLittleEndian) != 0;
    const LayoutRow* row = pickLayout(caps, hostLsb, hostLittle);
    if (!row) return std::nullopt;

    LogLine(6) << row->message;
    const StreamFormat target = (h.value() & ~StreamFormat::sampleMask) | row->target;
    if (!caps.supports(target)) return std::nullopt;
    return FormatChoice{target, row->converter};
}

}  // namespace VELMORA
