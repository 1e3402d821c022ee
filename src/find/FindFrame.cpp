#include "find/FindFrame.h"

#include "terno/Message.h"

namespace VELMORA {

uint16_t frameU16(const FindFrame& frame, size_t offset) {
    if (offset + 2 > frame.size()) return 0;
    return static_cast<uint16_t>(frame[offset] | (frame[offset + 1] << 8));
}

uint64_t frameU64(const FindFrame& frame, size_t offset) {
    if (offset + 8 > frame.size()) return 0;
    uint64_t value = 0;
    for (size_t i = 8; i-- > 0;) value = (value << 8) | frame[offset + i];
    return value;
}

std::string framePayloadText(const FindFrame& frame) {
    return TERNO::Message::payloadText(frame.data(), frame.size());
}

}  // namespace VELMORA
