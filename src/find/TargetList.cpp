// Targets: every output of every sink found (getTargetList), or one output of a sink
// whose address is known (getTarget).
#include "log/LogLine.h"
#include "find/Find.h"
#include "platform/Clock.h"

namespace VELMORA {

bool Find::getTargetList(TargetMap& targets) {
    targets.clear();
    std::map<TERNO::Address, FoundSink> found;
    if (!find(found)) return false;
    for (const auto& [sink, foundSink] : found) {
        if (!addSinkTargets(sink, foundSink.description, targets)) return false;
    }
    return true;
}

bool Find::addSinkTargets(const TERNO::Address& sink, const std::string& description, TargetMap& targets) {
    const uint32_t start = platform::nowMicroseconds();
    if (!sendName(sink)) return false;
    uint16_t count = 0;
    if (!getOutputCount(sink, count)) return false;
    std::string infoText;
    const FindAckResult info = getInfoText(sink, infoText);
    if (info == FindAckResult::Failed) return false;
    infoText = info == FindAckResult::Answered ? replaceMyAddress(infoText, sink) : std::string{};

    for (uint16_t index = 1; index <= count && index != 0; ++index) {
        if (timeLeft(start, sinkTimeLimitUs) == 0) {
            LogLine(4) << "Velmora Find Sink Out stop: " << description << " " << index - 1 << "/" << count
                       << " outputs asked in " << sinkTimeLimitUs / 1000 << "ms";
            break;
        }
        TERNO::Address streamAddress{};
        uint16_t version = 0;
        std::string outputName;
        if (!getOutput(sink, index, streamAddress, version, outputName)) return false;
        if (isZeroAddress(streamAddress)) continue;
        Target& target = targets[streamAddress];
        target = Target{0, 0, index, version, description, infoText, sink, outputName};
        LogLine(6) << "Velmora Find Sink Out: " << target.description << " " << target.outputIndex << " "
                   << target.version << " [" << target.findAddress.scope << "]";
    }
    return true;
}

bool Find::getTarget(const TERNO::Address& address, uint16_t outputIndex,
                     TERNO::Address& streamAddress, Target& target) {
    TERNO::Address query = address;
    query.setPortNumber(FindProtocol::findPort);
    streamAddress = TERNO::Address{};

    uint16_t version = 0;
    std::string outputName;
    bool reached = false;
    for (const TERNO::Address& local : interfaces) {
        query.scope = local.scope;
        if (!getOutput(query, outputIndex, streamAddress, version, outputName)) return false;
        if (!isZeroAddress(streamAddress)) {
            reached = true;
            break;
        }
    }
    if (!reached) return true;

    target.reserved = 0;
    target.outputIndex = outputIndex;
    target.version = version;
    target.findAddress = query;

    std::string text;
    const FindAckResult description = getDescription(query, text);
    if (description == FindAckResult::Failed) return false;
    if (description == FindAckResult::Answered) target.description = text;

    const FindAckResult info = getInfoText(query, text);
    if (info == FindAckResult::Failed) return false;
    if (info == FindAckResult::Answered) target.infoText = replaceMyAddress(text, query);
    return true;
}

}  // namespace VELMORA
