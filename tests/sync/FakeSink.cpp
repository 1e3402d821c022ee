#include "sync/FakeSink.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "sync/SyncWire.h"
#include "terno/Message.h"

namespace synctest {

using namespace VELMORA;

bool openSession(Sync& session, uint32_t threadMode, uint32_t infoCycleUs) {
    if (!session.open(threadMode, infoCycleUs, 0, "test")) return false;
    session.requestTimeoutUs = 300000;
    return true;
}

FakeSink::FakeSink() : peer_([this](const findtest::Bytes& d, const TERNO::Address&) { return handle(d); }) {
    if (!peer_.ok()) throw std::runtime_error("fake sink: cannot bind [::1]");
}

std::vector<Datagram> FakeSink::requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<Datagram> FakeSink::packets() {
    std::lock_guard<std::mutex> lock(mutex_);
    return packets_;
}

size_t FakeSink::count(uint16_t cmd) {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::count_if(requests_.begin(), requests_.end(), [&](const Datagram& r) { return r.command == cmd; });
}

bool FakeSink::waitPackets(size_t n, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return packets_.size() >= n; });
}

void FakeSink::sendFrame(bool fromImpostor, uint16_t cmd, uint16_t flags, uint64_t parameter) {
    peer_.sendToLastPeer({findtest::frame64(cmd, flags, parameter), fromImpostor});
}

void FakeSink::sendStatus(uint16_t flags, uint16_t a, uint16_t b, uint16_t c) {
    sendFrame(false, command::status, flags, a | (uint64_t{b} << 16) | (uint64_t{c} << 32));
}

void FakeSink::sendRaw(std::vector<uint8_t> bytes) { peer_.sendToLastPeer({std::move(bytes)}); }

findtest::Reply FakeSink::answer(uint16_t cmd, uint64_t parameter) const {
    return {findtest::frame64(cmd, flagsClear ? 0 : 1, parameter)};
}

std::vector<findtest::Reply> FakeSink::handle(const findtest::Bytes& d) {
    using findtest::frame64;
    if (!TERNO::Message::isValidFrame(d.data(), d.size())) {
        ++invalidDatagrams;
        return {};
    }
    Datagram g;
    g.command = wire::command(d.data());
    g.flags = wire::flags(d.data());
    g.sequence = wire::u16(d.data(), 8);
    g.lengthWord = wire::u16(d.data(), 2);
    g.parameter = wire::u64(d.data(), 8);
    g.bytes = d.size();
    g.payload.assign(d.begin() + 16, d.begin() + 16 + TERNO::Message::payloadLength(d.data(), d.size()));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        (g.command == command::data ? packets_ : requests_).push_back(g);
    }
    changed_.notify_all();

    const uint64_t p = g.parameter;
    switch (g.command) {
    case command::data:
        if ((g.flags & 0x20) && answerInfo) return {{frame64(command::status, statusFlags, 8192)}};
        return {};
    case command::disconnectReq:
        if (answerDisconnect) return {{frame64(command::disconnectAns, 0, 0)}};
        return {};
    case command::connectReq:  // the data port is the control port
        if (!answerConnect) return {};
        return {{frame64(connectEcho ? command::connectReq : command::connectAns, connectFlags, address().portNumber())}};
    }
    if (!answerControl) return {};
    if (answerDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(answerDelayMs.load()));
    if (echoRequests) return {{frame64(g.command, 1, 0)}};
    switch (g.command) {
    case command::formatReq:
        return {answer(command::formatAns, p == 0 ? (pcmCaps & 0xFF00) | (dsdLsbCaps ? 0x110000 : 0)
                                           : p == 0x100000 ? dsdLsbCaps : p == 0x200000 ? 0 : pcmCaps)};
    case command::nopBreakReq:
        return {answer(command::nopBreakAns, 0)};
    case command::profileReq:
        return {answer(command::profileAns, profile[0] | (uint64_t{profile[1]} << 16) | (uint64_t{profile[2]} << 32))};
    case command::latencyReq:  // grants twice the request, or 5 ms; hardware latency 300 us
        return {answer(command::latencyAns, ((p & 0xFFFF) ? (p & 0xFFFF) * 2 : 50) | (uint64_t{3} << 16))};
    case command::dataSizeReq:
        if (answerDataSize) return {answer(command::dataSizeAns, mtu | (uint64_t{maximum} << 16))};
        return {};
    case command::connectPreReq:
        return {answer(command::connectPreAns, uint64_t{77} << 16)};
    case command::nameReq:
        return {{frame64(command::nameAns, 0, 0)}};
    case command::logReq:  // an acknowledgement, then one line of the sink's log
        return {{frame64(command::logText, 0, 0)}, {findtest::frame(command::logText, 0, 2, 0, 0, 0, "sink says hello")}};
    }
    return {};
}

}  // namespace synctest
