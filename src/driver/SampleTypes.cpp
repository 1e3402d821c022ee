#include "driver/SampleTypes.h"

#include <initializer_list>

namespace {

std::optional<PcmChoice> firstPresent(uint64_t caps, std::initializer_list<PcmChoice> preferences) {
    for (const PcmChoice& choice : preferences)
        if (caps & choice.pcmFormat) return choice;
    return std::nullopt;
}

}  // namespace

ASIOSampleType asioSampleType(uint64_t pcmSampleType) {
    switch (pcmSampleType) {
    case 0x200: return ASIOSTInt16LSB;
    case 0x400: return ASIOSTInt24LSB;
    case 0x2000: return ASIOSTFloat32LSB;
    case 0x4000: return ASIOSTFloat64LSB;
    default: return ASIOSTInt32LSB;   // 0x800, and 0x1000 which the host fills as 32-bit integers
    }
}

std::optional<PcmChoice> choosePcmFormat(uint64_t caps, int32_t request, bool convertS32) {
    if (request >= 64) return firstPresent(caps, {{0x4000, 8}, {0x800, 4}, {0x2000, 4}, {0x400, 3}, {0x200, 2}});
    if (request >= 32 && convertS32) return firstPresent(caps, {{0x800, 4}, {0x1000, 4}, {0x400, 4}, {0x200, 4}});
    if (request >= 32) return firstPresent(caps, {{0x800, 4}, {0x2000, 4}, {0x4000, 8}, {0x400, 3}, {0x200, 2}});
    if (request >= 24) return firstPresent(caps, {{0x400, 3}, {0x800, 4}, {0x2000, 4}, {0x4000, 8}, {0x200, 2}});
    if (request >= 16 && (caps & 0x200)) return PcmChoice{0x200, 2};
    return firstPresent(caps, {{0x400, 3}, {0x800, 4}, {0x2000, 4}, {0x4000, 8}});
}

uint32_t channelCountOf(uint64_t caps) {
    if (caps & 0x10) return 8;
    if (caps & 0x08) return 6;
    if (caps & 0x04) return 4;
    if (caps & 0x02) return 2;
    if (caps & 0x01) return 1;
    return 0;
}
