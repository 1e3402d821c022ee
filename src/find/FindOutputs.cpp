// The per-sink queries: output count, one output, information text, description.
#include "log/LogLine.h"
#include "find/Find.h"
#include "find/FindRequests.h"

namespace VELMORA {

using namespace FindProtocol;

// True when the sink lets the query go on (anything but a positive NOPBREAK answer).
bool Find::probeNopBreak(const TERNO::Address& to) {
    if (!nopBreak) return true;
    FindFrame answer;
    return sendAck(to, FindRequests::nopBreak(), NOPBREAK_ANS, answer) != FindAckResult::Answered;
}

bool Find::getOutputCount(const TERNO::Address& to, uint16_t& count) {
    count = 0;
    if (!probeNopBreak(to)) return false;
    FindFrame answer;
    const FindAckResult result = sendAck(to, FindRequests::output(0), OUTPUT_ANS, answer);
    if (result == FindAckResult::Failed) return false;
    if (result == FindAckResult::Answered && frameU16(answer, offsetParam2) == 0)
        count = frameU16(answer, offsetParam0);
    return true;
}

bool Find::getOutput(const TERNO::Address& to, uint16_t index, TERNO::Address& streamAddress,
                     uint16_t& version, std::string& outputName) {
    streamAddress = TERNO::Address{};
    if (!probeNopBreak(to)) return false;
    FindFrame answer;
    const FindAckResult result = sendAck(to, FindRequests::output(index), OUTPUT_ANS, answer);
    if (result == FindAckResult::Failed) return false;
    if (result != FindAckResult::Answered) return true;
    const uint16_t port = frameU16(answer, offsetParam2);
    if (port == 0) return true;  // no such output

    version = frameU16(answer, offsetParam3);
    outputName = framePayloadText(answer);
    if (maxVersion != 0 && maxVersion < version) {
        LogLine(6) << "Velmora Find protocol version not much : " << maxVersion << "<" << version;
        return true;
    }
    streamAddress = to;
    streamAddress.setPortNumber(port);
    return true;
}

FindAckResult Find::getInfoText(const TERNO::Address& to, std::string& text) {
    text.clear();
    FindFrame answer;
    const FindAckResult result = sendAck(to, FindRequests::info(), INFO_ANS, answer);
    if (result == FindAckResult::Answered) text = framePayloadText(answer);
    return result;
}

FindAckResult Find::getDescription(const TERNO::Address& to, std::string& text) {
    text.clear();
    FindFrame answer;
    const FindAckResult result = sendAck(to, FindRequests::find(), FIND_ANS, answer);
    if (result == FindAckResult::Answered) text = framePayloadText(answer);
    return result;
}

}  // namespace VELMORA
