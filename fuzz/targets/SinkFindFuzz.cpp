// The reference sink's Find side: the answer it builds for whatever arrives on the Find
// port, with outputs, texts and both refusal settings.

#include "find/FindResponder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static sink::FindResponder responder([] {
        sink::FindResponderConfig c;
        c.productTag = 0x4E495244554C4150ull;
        c.infoText = "at [myaddress]";
        c.outputs = {{4000, 1, "out 1"}, {4001, 2, "out 2"}};
        return c;
    }());
    std::vector<uint8_t> reply;
    responder.answer(std::vector<uint8_t>(data, data + size), reply);
    return 0;
}
