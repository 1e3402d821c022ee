// One request/answer exchange with one sink, and the name announcement built on it.
#include "log/LogLine.h"
#include "find/Find.h"
#include "find/FindRequests.h"
#include "platform/Clock.h"

namespace VELMORA {

uint32_t Find::timeLeft(uint32_t start, uint32_t limit) {
    const uint32_t left = limit - (platform::nowMicroseconds() - start);
    return static_cast<int32_t>(left) <= 0 ? 0 : left;
}

FindAckResult Find::sendAck(const TERNO::Address& to, const TERNO::MessageHeader& request,
                            uint16_t answerCommand, FindFrame& answer) {
    answer.clear();
    if (!socket.sendTo(request.frame, static_cast<uint32_t>(request.frameSize), to, true))
        return FindAckResult::Failed;
    const uint16_t requestCommand = static_cast<uint16_t>(request.frame[4] | (request.frame[5] << 8));

    const uint32_t start = platform::nowMicroseconds();
    TERNO::WaitResult wait = socket.waitReadable(FindProtocol::exchangeTimeoutUs);
    FindFrame datagram;
    TERNO::Address from{};
    for (;;) {
        if (wait == TERNO::WaitResult::Error) return FindAckResult::Failed;
        if (wait == TERNO::WaitResult::Timeout) return FindAckResult::NoAnswer;
        const uint32_t left = timeLeft(start, FindProtocol::exchangeTimeoutUs);

        socket.receiveFrom(datagram, from);  // a failed receive leaves it empty
        if (TERNO::Message::isValidFrame(datagram.data(), datagram.size())) {
            LogLine(7) << "sendAck[" << socket.interfaceIndex << "," << to.scope << "," << from.scope
                       << "]RCV:" << requestCommand;
            const uint16_t command = frameCommand(datagram);
            const bool positive = (frameFlags(datagram) & FindProtocol::flagPositive) != 0;
            if (command == requestCommand) return FindAckResult::Echoed;
            if (command == answerCommand && !positive) {
                answer.swap(datagram);
                return FindAckResult::Refused;
            }
            if (command == answerCommand && from == to) {
                answer.swap(datagram);
                return FindAckResult::Answered;
            }
        }
        // Past the time limit nothing more is read: a sink that keeps sending cannot
        // stretch the exchange.
        if (left == 0) return FindAckResult::NoAnswer;
        wait = socket.waitReadable(left);
    }
}

bool Find::sendName(const TERNO::Address& to) {
    TERNO::Message request;
    FindRequests::name(name, request);
    FindFrame answer;
    return sendAck(to, request, FindProtocol::FINDNAME_ANS, answer) != FindAckResult::Failed;
}

}  // namespace VELMORA
