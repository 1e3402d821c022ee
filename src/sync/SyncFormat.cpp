// The session's side of the stream format: validity, capability test against the
// sink's masks, the choice of wire format and converter, and polarity.
#include "sync/Sync.h"

namespace VELMORA {

bool Sync::isValid(StreamFormat format) { return format.isValid(); }

bool Sync::supports(StreamFormat format) const {
    return FormatCaps{pcmCaps, dsdLsbCaps, dsdMsbCaps}.supports(format);
}

bool Sync::setFormat(StreamFormat format) {
    auto choice = chooseFormat(FormatCaps{pcmCaps, dsdLsbCaps, dsdMsbCaps}, format);
    if (!choice) return false;
    converter = choice->converter;
    sinkFormat = choice->sinkFormat;
    hostFormat = format;
    return true;
}

void Sync::applyPolarity(bool hostInvert, bool sinkInvert) {
    converter = VELMORA::applyPolarity(converter, hostInvert, sinkInvert);
}

uint64_t Sync::connectWord() const {
    uint64_t word = sinkFormat.value();
    return (word & 0xFFull) | (static_cast<uint64_t>(sinkFormat.category()) << 8) |
           (static_cast<uint64_t>(latency) << 16) | (word & 0xFFFFFFFF00000000ull);
}

uint32_t Sync::totalLatencyUs() const {
    return (static_cast<uint32_t>(hwLatency) + latency) * 100;
}

}  // namespace VELMORA
