// The control requests of a session: the request/answer exchange, learning the
// sink's abilities (getInfo) and preparing the stream (connectPrepare).
#include <algorithm>
#include <chrono>
#include <thread>

#include "log/LogLine.h"
#include "platform/Clock.h"
#include "sync/Sync.h"
#include "sync/SyncPacing.h"
#include "sync/SyncWire.h"
#include "terno/Message.h"

namespace VELMORA {

namespace {

constexpr uint32_t connectTimeoutUs = 10000000;
constexpr int sendsPerRequest = 3;
constexpr uint32_t watchSliceUs = 20000;   // how often a watched exchange checks its state

// Waits for an answer up to timeoutUs; a watched exchange waits in slices and gives
// up (Error) once it is called off. The wire sees the same timing either way.
TERNO::WaitResult waitAnswer(TERNO::Socket& socket, uint32_t timeoutUs, const ExchangeWatch& watch) {
    if (!watch.state) return socket.waitReadable(timeoutUs);
    for (uint32_t left = timeoutUs;;) {
        if (watch.calledOff()) return TERNO::WaitResult::Error;
        const uint32_t slice = std::min(left, watchSliceUs);
        const TERNO::WaitResult waited = socket.waitReadable(slice);
        if (waited != TERNO::WaitResult::Timeout) return waited;
        left -= slice;
        if (left == 0) return TERNO::WaitResult::Timeout;
    }
}

bool sameEndpoint(const TERNO::Address& a, const TERNO::Address& b) {
    return a.bytes == b.bytes && a.port == b.port && a.scope == b.scope;
}

// Receives and drops up to `count` datagrams, waiting up to waitUs for each; stops at the
// first wait that ends without one.
void dropLateAnswers(TERNO::Socket& socket, int count, uint32_t waitUs) {
    std::vector<uint8_t> datagram;
    for (int n = 0; n < count; ++n) {
        TERNO::Address from{};
        if (socket.waitReadable(waitUs) != TERNO::WaitResult::Ready || !socket.receiveFrom(datagram, from)) return;
        LogLine(7) << "sendAck late answer dropped:" << datagram.size();
    }
}

constexpr int staleBacklog = 64;            // queued datagrams dropped before a request at most
constexpr uint32_t lateAnswerWaitUs = 100000;

// A 16-byte request with a 64-bit parameter.
//
// A sink that answers after the exchange's timeout answers every copy of the resent request,
// and a copy that arrives during the next exchange would be taken for its answer: the four
// format requests share one answer command, and NOPBREAK_REQ shares it too. So the socket is
// emptied before each request, and after an exchange that had to resend, each outstanding
// copy is awaited for as long as the exchange took and one timeout more (at most 100 ms) and
// dropped. Nothing changes on the wire.
bool request(TERNO::Socket& socket, const TERNO::Address& to, uint16_t cmd, uint64_t parameter,
             uint16_t answerCommand, std::vector<uint8_t>& answer, uint32_t timeoutUs) {
    dropLateAnswers(socket, staleBacklog, 0);
    TERNO::MessageHeader message(cmd, parameter);
    const uint32_t start = platform::nowMicroseconds();
    if (!Sync::sendAck(socket, to, message.frame, message.frameSize, answerCommand, answer, timeoutUs)) return false;
    const uint32_t took = platform::nowMicroseconds() - start;
    const uint32_t resent = timeoutUs == 0 ? 0 : std::min<uint32_t>(took / timeoutUs, 2);
    if (resent > 0)
        dropLateAnswers(socket, static_cast<int>(resent), std::min(took + timeoutUs, lateAnswerWaitUs));
    return true;
}

}  // namespace

bool Sync::sendAck(TERNO::Socket& socket, const TERNO::Address& to, const void* requestBytes,
                   size_t requestSize, uint16_t answerCommand, std::vector<uint8_t>& answer,
                   uint32_t timeoutUs, ExchangeWatch watch) {
    const uint16_t requestCommand = wire::command(static_cast<const uint8_t*>(requestBytes));
    // The answer comes from where the request went; a pinned socket sends on its interface.
    TERNO::Address expected = to;
    if (socket.interfaceIndex != 0) expected.scope = static_cast<uint16_t>(socket.interfaceIndex);
    std::vector<uint8_t> datagram;
    answer.clear();
    for (int send = 0; send < sendsPerRequest; ++send) {
        if (!socket.sendTo(requestBytes, static_cast<uint32_t>(requestSize), to, true)) return false;
        for (;;) {
            TERNO::WaitResult waited = waitAnswer(socket, timeoutUs, watch);
            if (waited == TERNO::WaitResult::Error) return false;
            if (waited == TERNO::WaitResult::Timeout) break;
            TERNO::Address from{};
            if (!socket.receiveFrom(datagram, from)) return false;
            if (!TERNO::Message::isValidFrame(datagram.data(), datagram.size()) ||
                !sameEndpoint(from, expected)) {
                LogLine(7) << "sendAck RCV errpacket:" << datagram.size();
                continue;
            }
            LogLine(7) << "sendAck[" << socket.interfaceIndex << "," << to.scope << "," << from.scope
                       << "]RCV:" << requestCommand;
            const uint16_t cmd = wire::command(datagram.data());
            if (cmd == requestCommand) return true;  // an echo: no answer
            if (cmd == answerCommand) {
                if (wire::flags(datagram.data()) & 1) answer = datagram;
                return true;
            }
        }
    }
    return true;  // three timeouts: no answer
}

bool Sync::requestFormats(const TERNO::Address& sink) {
    std::vector<uint8_t> answer;
    if (!request(control, sink, command::formatReq, 0, command::formatAns, answer, requestTimeoutUs) ||
        answer.empty())
        return false;
    const uint64_t summary = wire::u64(answer.data(), 8);
    if (summary == 0) return false;

    auto ask = [&](uint64_t selector, uint64_t& mask) {
        if (!request(control, sink, command::formatReq, selector, command::formatAns, answer,
                     requestTimeoutUs) ||
            answer.empty())
            return false;
        mask = wire::u64(answer.data(), 8);
        return true;
    };
    pcmCaps = dsdLsbCaps = dsdMsbCaps = 0;
    if ((summary & 0xFF00) && !ask(summary & 0xFF00, pcmCaps)) return false;
    if (summary & 0xF0000) {
        if ((summary & (1ull << 20)) && !ask(0x100000, dsdLsbCaps)) return false;
        if ((summary & (1ull << 21)) && !ask(0x200000, dsdMsbCaps)) return false;
    }
    return pcmCaps != 0 || dsdLsbCaps != 0 || dsdMsbCaps != 0;
}

bool Sync::getInfo(const TERNO::Address& sink, uint32_t latencyUs, bool nopBreak) {
    // The session's target changes only once the sink has answered.
    auto fail = [] { return false; };
    std::vector<uint8_t> answer;

    if (nopBreak &&
        !request(control, sink, command::nopBreakReq, 0, command::nopBreakAns, answer, requestTimeoutUs))
        return fail();

    if (!requestFormats(sink)) return fail();

    if (!request(control, sink, command::profileReq, sinkFormat.value(), command::profileAns, answer,
                 requestTimeoutUs))
        return fail();
    if (answer.empty()) {
        transfer.setSinkProfile(0, 0, 0);
    } else {
        transfer.setSinkProfile(wire::u16(answer.data(), 8), wire::u16(answer.data(), 10),
                                wire::u16(answer.data(), 12));
    }

    if (!request(control, sink, command::latencyReq, 0, command::latencyAns, answer, requestTimeoutUs) ||
        answer.empty())
        return fail();
    hwLatency = wire::u16(answer.data(), 10);
    latency = wire::u16(answer.data(), 8);
    const uint16_t requested = static_cast<uint16_t>(latencyUs / 100);
    if (requested != 0) {
        if (!request(control, sink, command::latencyReq, requested, command::latencyAns, answer,
                     requestTimeoutUs) ||
            answer.empty())
            return fail();
        latency = wire::u16(answer.data(), 8);
    }
    {
        LogLine line(6);
        line << "LATENCY_REQ hw=" << hwLatency * 100u;
        if (requested != 0) line << "us request=" << requested * 100u;
        line << "us latency=" << latency * 100u << "us";
    }

    uint32_t mtu = 1500;
    uint32_t maximum = 15000;
    if (request(control, sink, command::dataSizeReq, 0, command::dataSizeAns, answer, requestTimeoutUs) &&
        !answer.empty()) {
        mtu = wire::u16(answer.data(), 8);
        maximum = wire::u16(answer.data(), 10);
        LogLine(6) << "DATASIZE_REQ mtu=" << mtu << " max=" << maximum;
    }
    packDataSize = packetPayloadForMtu(mtu);
    if (packDataSize == 0) LogLine(3) << "DATASIZE_REQ mtu error " << mtu;
    if (maximum == 0xFFFF) {
        packDataCount = 0xFFFF;
    } else {
        packDataCount = mtu == 0 ? 0 : static_cast<uint16_t>(maximum / mtu);
    }

    target = sink;
    logTarget = sink;
    logTarget.port = TERNO::Address::toNetworkOrder(logPort);
    logRequestPending.store(1, std::memory_order_release);
    if (logLevel() >= 6) std::this_thread::sleep_for(std::chrono::milliseconds(110));
    return true;
}

bool Sync::connectPrepare() {
    std::vector<uint8_t> answer;
    if (!request(control, target, command::connectPreReq, connectWord(), command::connectPreAns, answer,
                 connectTimeoutUs)) {
        LogLine(3) << "wth CR send err";
        setState(stateIdle);
        return false;
    }
    if (answer.empty()) return true;

    LogLine(6) << "CONNECTPRE_REQ latency=" << static_cast<int32_t>(wire::u16(answer.data(), 10)) * 100
               << "us";
    TERNO::Message name;
    name.setHeader(command::nameReq, static_cast<uint16_t>(1));
    name.setPayload(clientName);
    name.commitHeader();
    return sendAck(control, target, name.frame, name.frameSize, command::nameAns, answer, requestTimeoutUs);
}

}  // namespace VELMORA
