// The reference sink's control side: every datagram that reaches its port and is not data
// goes to the control responder, as any host on the link can send it.

#include "ControlResponder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const sink::SinkConfig config;
    sink::ControlResponder responder(config, 4000);
    // A datagram may hold several requests back to back, each read as the sink reads one.
    const sink::Bytes all(data, size);
    for (size_t at = 0; at < size;) {
        const size_t length = std::min<size_t>(size - at, 16 + data[at] % 64);
        const sink::Bytes one = all.subspan(at, length);
        if (sink::isFrame(one)) responder.handle(one);
        at += length;
    }
    return 0;
}
