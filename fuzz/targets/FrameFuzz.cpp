// The frame readers: the network library's frame test and payload measure, the Find
// client's payload text and header fields, and the reference sink's own reader, which must
// all agree on what a received datagram carries and never read past it. Building a frame
// from the same bytes must read back as what went in.

#include "find/FindFrame.h"
#include "terno/Message.h"

#include "SinkWire.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const bool valid = TERNO::Message::isValidFrame(data, size);
    const sink::Bytes bytes(data, size);
    if (valid != sink::isFrame(bytes)) std::abort();

    const size_t length = TERNO::Message::payloadLength(data, size);
    if (length + TERNO::headerSize > std::max(size, TERNO::headerSize)) std::abort();
    if (TERNO::Message::payloadText(data, size).size() != length) std::abort();
    if (valid && sink::payloadLength(bytes) != length) std::abort();

    const VELMORA::FindFrame frame(data, data + size);
    const std::string text = VELMORA::framePayloadText(frame);
    if (valid && text != TERNO::Message::payloadText(data, size)) std::abort();
    (void)VELMORA::frameU64(frame, 8);
    (void)VELMORA::frameFlags(frame);

    const std::string_view body(reinterpret_cast<const char*>(data), std::min<size_t>(size, 4000));
    TERNO::Message built;
    built.setPayload(body);
    built.commitHeader();
    if (!TERNO::Message::isValidFrame(built.frame, built.frameSize) ||
        TERNO::Message::payloadText(built.frame, built.frameSize) != body)
        std::abort();
    return 0;
}
