#include "find/FindRequests.h"

#include <string>

#include "find/FindProtocol.h"

namespace VELMORA::FindRequests {

using namespace FindProtocol;

TERNO::MessageHeader find() { return TERNO::MessageHeader(FIND_REQ); }

TERNO::MessageHeader output(uint16_t index) {
    return TERNO::MessageHeader(OUTPUT_REQ, index, 0, 0, 1);
}

TERNO::MessageHeader info() { return TERNO::MessageHeader(INFO_REQ); }

TERNO::MessageHeader nopBreak() { return TERNO::MessageHeader(NOPBREAK_REQ); }

void name(std::string_view clientName, TERNO::Message& message) {
    static constexpr size_t largestPayload = 65512;
    message.setHeader(FINDNAME_REQ, flagPayload);
    message.setPayload(std::string(clientName.substr(0, largestPayload)));
    message.commitHeader();
}

}  // namespace VELMORA::FindRequests
