#pragma once
// The 64-bit stream format word. Every field is a one-hot code, so "can the sink
// carry this format" is a subset test of bits against the sink's capability masks,
// which use the same layout.
//
//   bits  0..7   channel code   0x01=1, 0x02=2, 0x04=4, 0x08=6, 0x10=8, 0x20=16 channels
//   bits  8..19  sample type    one-hot, see the type constants below
//   bit  20 / 21 DSD bit order  LSB first / MSB first (first sample in time)
//   bit  22 / 23 DSD word bytes little-endian / big-endian
//   bits 24..31  DSD word code  2 = 32-bit words
//   bits 32..34  rate family    0x1 = 8000, 0x2 = 44100, 0x4 = 48000 Hz
//   bits 35..47  multiplier     bit 35 + k = x 2^k
//   bits 48..63  reserved
//
// Sent on the wire as a little-endian u64.

#include <cstdint>
#include <optional>

#include "sync/SampleConverters.h"

namespace VELMORA {

class StreamFormat {
public:
    // Field groups.
    static constexpr uint64_t channelMask = 0xFFull;
    static constexpr uint64_t typeMask = 0xFFF00ull;          // bits 8..19
    static constexpr uint64_t pcmTypeMask = 0xFF00ull;        // bits 8..15
    static constexpr uint64_t dsdTypeMask = 0xF0000ull;       // bits 16..19
    static constexpr uint64_t dsdLayoutMask = 0xFFF00000ull;  // bits 20..31
    static constexpr uint64_t sampleMask = 0xFFFFFF00ull;     // bits 8..31: type and DSD layout
    static constexpr uint64_t familyMask = 0x7ull << 32;
    static constexpr uint64_t multiplierMask = 0x1FFFull << 35;
    static constexpr uint64_t rateMask = familyMask | multiplierMask;  // bits 32..47

    // Sample types.
    static constexpr uint64_t typeInt8 = 0x00100;
    static constexpr uint64_t typeInt16 = 0x00200;
    static constexpr uint64_t typeInt24 = 0x00400;
    static constexpr uint64_t typeInt32 = 0x00800;
    static constexpr uint64_t typeInt64 = 0x01000;
    static constexpr uint64_t typeFloat32 = 0x02000;
    static constexpr uint64_t typeFloat64 = 0x04000;
    static constexpr uint64_t typeDsd1 = 0x10000;   // 1 bit per sample
    static constexpr uint64_t typeDsd8 = 0x20000;

    // DSD layout bits.
    static constexpr uint64_t dsdLsbFirst = 1ull << 20;
    static constexpr uint64_t dsdMsbFirst = 1ull << 21;
    static constexpr uint64_t dsdLittleEndian = 1ull << 22;
    static constexpr uint64_t dsdBigEndian = 1ull << 23;
    static constexpr uint64_t dsdWordCodeMask = 0xFFull << 24;
    static constexpr uint64_t dsdWord32 = 2ull << 24;  // word code 2 (bit 25)

    // Complete DSD layouts of 32-bit words, type 0x10000 (bits 8..31).
    static constexpr uint64_t dsdLsbLittle = typeDsd1 | dsdLsbFirst | dsdLittleEndian | dsdWord32;  // 0x02510000
    static constexpr uint64_t dsdLsbBig = typeDsd1 | dsdLsbFirst | dsdBigEndian | dsdWord32;        // 0x02910000
    static constexpr uint64_t dsdMsbLittle = typeDsd1 | dsdMsbFirst | dsdLittleEndian | dsdWord32;  // 0x02610000
    static constexpr uint64_t dsdMsbBig = typeDsd1 | dsdMsbFirst | dsdBigEndian | dsdWord32;        // 0x02A10000

    // Category byte of the connect word.
    enum Category : uint8_t { categoryInteger = 1, categoryFloat = 2, categoryOther = 4, categoryDsd = 8 };

    // The lowest DSD rate a valid format may have (DSD64).
    static constexpr uint64_t minimumDsdRate = 2822400;

    constexpr StreamFormat() = default;
    constexpr StreamFormat(uint64_t word) : word_(word) {}
    constexpr operator uint64_t() const { return word_; }
    constexpr uint64_t value() const { return word_; }

    // 1, 2, 4, 6, 8 or 16 from the channel code; any other code reads as 2.
    uint32_t channels() const;
    // From the sample type; an unknown type reads as 16 bits in 2 bytes.
    uint32_t bitsPerSample() const;
    uint32_t containerBytes() const;
    uint32_t frameBytes() const { return containerBytes() * channels(); }

    // Family x multiplier in Hz; 8000 for family 0x1 without multiplier; else 0.
    uint64_t rate() const;
    // 8000, 44100 or 48000 from the family (8000 only without a multiplier); else 0.
    uint32_t baseRate() const;
    // 1..4096 from a single multiplier bit; else 0.
    uint32_t rateMultiplier() const;

    // Replace the rate bits with those of hz (8000, 44100 x 2^k or 48000 x 2^k,
    // k = 0..12). Another rate returns false and leaves the word unchanged.
    bool setRate(uint64_t hz);
    // Replace the channel code with that of n (1, 2, 4, 6, 8, 16); else false, unchanged.
    bool setChannels(uint64_t n);
    // Take over each field group (bits 0..7, 8..31, 32..47) in which `other` has a bit.
    void merge(StreamFormat other);

    // Any of bits 8..15.
    bool isPcm() const { return (word_ & pcmTypeMask) != 0; }
    // Sample type 0x10000 or 0x20000.
    bool isDsd() const;
    // Channel code, sample type and DSD layout/rate form a stream the system can carry.
    bool isValid() const;
    // The byte that reads as silence: with any of bits 16..19 (DSD) 0x69 when LSB first,
    // else 0x96; 0 for every other (PCM) format.
    uint8_t silenceByte() const;
    // Category byte of the connect word: integer PCM 1, float PCM 2, DSD 8, else 4.
    uint8_t category() const;

private:
    uint64_t word_ = 0;
};

// The sink's capability masks, one per set (PCM, DSD LSB first, DSD MSB first),
// each the OR of every code the sink accepts.
struct FormatCaps {
    uint64_t pcm = 0;
    uint64_t dsdLsb = 0;
    uint64_t dsdMsb = 0;

    // Every bit of f present in the mask of f's set.
    bool supports(StreamFormat f) const;
};

// What the stream puts on the wire for a host format, and how it gets there.
struct FormatChoice {
    StreamFormat sinkFormat;
    SampleConverter converter = converters::copy;
};

// The wire format for host format h: h itself with a plain copy when the sink
// supports it; otherwise, for DSD in 32-bit words, another bit order / word byte
// order that the sink accepts, with the converter between them (logs the chosen
// conversion at severity 6). Empty when the sink can carry neither.
std::optional<FormatChoice> chooseFormat(const FormatCaps& caps, StreamFormat h);

}  // namespace VELMORA
