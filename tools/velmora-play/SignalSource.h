#pragma once
// What the player feeds the driver: one host buffer half of every channel per bufferSwitch.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "com/Asio.h"

struct HostLayout {
    ASIOSampleType type = ASIOSTInt32LSB;
    unsigned channels = 0;
    unsigned sampleBytes = 4;   // bytes per sample in a host buffer (DSD: 1 byte = 8 samples)
    double sampleRate = 0;
    bool dsd = false;
};

class SignalSource {
public:
    virtual ~SignalSource() = default;
    // Fills halves[c] (units items each: frames for PCM, bytes for DSD) for every channel.
    // False once the source has nothing more (the halves then hold silence).
    virtual bool fill(uint8_t* const* halves, size_t units) = 0;
};

// Bytes per host sample of an ASIO sample type; 0 for types the player cannot write.
unsigned hostSampleBytes(ASIOSampleType type);

// "counter", "sine", "sweep" or a sound file path. Null with error set when it cannot be made.
std::unique_ptr<SignalSource> makeSource(const std::string& kind, const HostLayout& layout, double frequency,
                                         std::string& error);

// A sound file through libsndfile where the platform has it.
std::unique_ptr<SignalSource> makeFileSource(const std::string& path, const HostLayout& layout, std::string& error);

// Writes value (-1..1) as one host sample of a PCM type.
void writePcmSample(ASIOSampleType type, double value, uint8_t* out);
