#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "SignalSource.h"
#include "common/CounterPattern.h"

namespace {

constexpr double pi = 3.14159265358979323846;

// Raw counter bytes, exactly as the pattern defines them.
class CounterSource : public SignalSource {
public:
    explicit CounterSource(const HostLayout& layout) : layout_(layout) {}
    bool fill(uint8_t* const* halves, size_t units) override {
        for (unsigned c = 0; c < layout_.channels; ++c) {
            if (layout_.dsd)
                pattern::fillCounterSamples(halves[c], units, 1, position_, c, layout_.channels);
            else
                pattern::fillCounterSamples(halves[c], units, layout_.sampleBytes, position_, c, layout_.channels);
        }
        position_ += units;
        return true;
    }

private:
    HostLayout layout_;
    uint64_t position_ = 0;
};

// A sine at a fixed frequency, or a logarithmic sweep from 20 Hz to 20 kHz over ten seconds.
class ToneSource : public SignalSource {
public:
    ToneSource(const HostLayout& layout, double frequency, bool sweep)
        : layout_(layout), frequency_(frequency), sweep_(sweep) {}

    bool fill(uint8_t* const* halves, size_t units) override {
        const double rate = layout_.dsd ? layout_.sampleRate : layout_.sampleRate;
        const size_t samples = layout_.dsd ? units * 8 : units;
        for (size_t i = 0; i < samples; ++i) {
            const double t = static_cast<double>(sample_++) / rate;
            const double f = sweep_ ? 20.0 * std::pow(1000.0, std::fmod(t, 10.0) / 10.0) : frequency_;
            phase_ = std::fmod(phase_ + 2 * pi * f / rate, 2 * pi);
            const double value = 0.5 * std::sin(phase_);
            for (unsigned c = 0; c < layout_.channels; ++c) {
                if (layout_.dsd)
                    writeDsdBit(halves[c], i, value);
                else
                    writePcmSample(layout_.type, value, halves[c] + i * layout_.sampleBytes);
            }
        }
        return true;
    }

private:
    // First-order sigma-delta modulation; the earliest sample goes to the bit the type names.
    void writeDsdBit(uint8_t* out, size_t i, double value) {
        const bool one = value >= integrator_;
        integrator_ += (one ? 1.0 : -1.0) - value;
        const unsigned bit = layout_.type == ASIOSTDSDInt8MSB1 ? 7 - (i % 8) : i % 8;
        if (i % 8 == 0) out[i / 8] = 0;
        if (one) out[i / 8] = static_cast<uint8_t>(out[i / 8] | (1u << bit));
    }

    HostLayout layout_;
    double frequency_;
    bool sweep_;
    double phase_ = 0;
    double integrator_ = 0;
    uint64_t sample_ = 0;
};

}  // namespace

unsigned hostSampleBytes(ASIOSampleType type) {
    switch (type) {
    case ASIOSTInt16LSB: return 2;
    case ASIOSTInt24LSB: return 3;
    case ASIOSTInt32LSB:
    case ASIOSTFloat32LSB: return 4;
    case ASIOSTFloat64LSB: return 8;
    case ASIOSTDSDInt8LSB1:
    case ASIOSTDSDInt8MSB1: return 1;
    default: return 0;
    }
}

void writePcmSample(ASIOSampleType type, double value, uint8_t* out) {
    value = std::clamp(value, -1.0, 1.0);
    auto integer = [&](unsigned bytes) {
        const double full = std::ldexp(1.0, 8 * static_cast<int>(bytes) - 1) - 1;
        const int64_t v = static_cast<int64_t>(std::lround(value * full));
        for (unsigned k = 0; k < bytes; ++k) out[k] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * k));
    };
    switch (type) {
    case ASIOSTInt16LSB: integer(2); break;
    case ASIOSTInt24LSB: integer(3); break;
    case ASIOSTInt32LSB: integer(4); break;
    case ASIOSTFloat32LSB: {
        const float f = static_cast<float>(value);
        std::memcpy(out, &f, 4);
        break;
    }
    case ASIOSTFloat64LSB: std::memcpy(out, &value, 8); break;
    default: break;
    }
}

std::unique_ptr<SignalSource> makeSource(const std::string& kind, const HostLayout& layout, double frequency,
                                         std::string& error) {
    if (kind == "counter") return std::make_unique<CounterSource>(layout);
    if (kind == "sine" || kind == "sweep") return std::make_unique<ToneSource>(layout, frequency, kind == "sweep");
    return makeFileSource(kind, layout, error);
}
