// Discovery: multicast passes over every interface, the product filter and the found list.
#include "log/LogLine.h"
#include "find/Find.h"
#include "find/FindRequests.h"
#include "find/ProductTag.h"
#include "platform/Clock.h"

namespace VELMORA {

namespace {

TERNO::Address allNodes(uint16_t scope) {
    TERNO::Address group{};
    for (int i = 0; i < 8; ++i) group.setGroup(i, FindProtocol::findGroup[i]);
    group.setPortNumber(FindProtocol::findPort);
    group.scope = scope;
    return group;
}

}  // namespace

bool Find::findMulti(const TERNO::MessageHeader& request,
                     std::map<TERNO::Address, FindFrame>& answers) {
    const uint32_t size = static_cast<uint32_t>(request.frameSize);
    FindFrame datagram;
    for (const TERNO::Address& local : interfaces) {
        LogLine(7) << "Find Multi Send : " << local.scope;
        const uint16_t pinned = static_cast<uint16_t>(socket.interfaceIndex);
        // Plain sends: a failure only leaves lastError; the pass goes on.
        socket.sendTo(request.frame, size, allNodes(pinned ? pinned : local.scope), false);
        for (const TERNO::Address& extra : extraDestinations) {
            TERNO::Address to = extra;
            // A link-local destination given without an interface is asked on each one in turn.
            if (pinned) to.scope = pinned;
            else if (to.scope == 0 && to.isLinkLocal()) to.scope = local.scope;
            socket.sendTo(request.frame, size, to, false);
        }

        const uint32_t start = platform::nowMicroseconds();
        TERNO::WaitResult wait = socket.waitReadable(FindProtocol::answerWindowUs);
        for (;;) {
            if (wait == TERNO::WaitResult::Error) return false;
            if (wait == TERNO::WaitResult::Timeout) break;
            const uint32_t left = timeLeft(start, FindProtocol::answerWindowUs);
            TERNO::Address from{};
            socket.receiveFrom(datagram, from);
            if (!datagram.empty()) {
                LogLine(7) << "Find Multi Ack Rcv : " << datagram.size();
                if (TERNO::Message::isValidFrame(datagram.data(), datagram.size()) &&
                    frameCommand(datagram) == FindProtocol::FIND_ANS &&
                    (frameFlags(datagram) & FindProtocol::flagPositive) != 0) {
                    LogLine(7) << "FindMultiAck[" << socket.interfaceIndex << "," << from.scope
                               << "]Valid : " << from.toStringWithPort();
                    answers[from] = datagram;
                }
            }
            // The window is closed once its time is used up, however busy the link is.
            if (left == 0) break;
            wait = socket.waitReadable(left);
        }
    }
    return true;
}

uint64_t Find::filterProduct(uint64_t tag) {
    if (productFilter != 0 && tag != 0) {
        if (tag != productFilter) {
            LogLine(6) << "Find Skip : " << tag << " " << productFilter;
            return invalidProductTag;
        }
        LogLine(6) << "Terget Producst : " << tag;
        return tag;
    }
    LogLine(6) << "Find Target: " << tag;
    return tag;
}

bool Find::find(std::map<TERNO::Address, FoundSink>& found) {
    found.clear();
    const TERNO::MessageHeader request = FindRequests::find();
    std::map<TERNO::Address, FindFrame> answers;
    for (int pass = 0; pass < FindProtocol::passes; ++pass)
        if (!findMulti(request, answers)) return false;

    for (const auto& [source, answer] : answers) {
        // Every answering sink learns our name, also those the filter skips.
        if (!sendName(source)) return false;
        const uint64_t tag = frameU64(answer, FindProtocol::offsetParam0);
        if (filterProduct(tag) == invalidProductTag) continue;
        found[source] = FoundSink{tag, framePayloadText(answer)};
    }
    return true;
}

}  // namespace VELMORA
